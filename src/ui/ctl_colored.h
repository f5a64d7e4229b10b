// Answers to the WM_CTLCOLOR* messages a window's children send: text colour, background colour and
// brush. Mask bits select the messages answered: 0 DLG, 1 STATIC, 2 EDIT, 3 BTN, 4 LISTBOX,
// 5 SCROLLBAR.
#pragma once

#include <windows.h>

namespace quillan {

template <typename T, UINT Mask>
class CCtlColored {
 public:
  CCtlColored()
      : textColor_(::GetSysColor(COLOR_WINDOWTEXT)),
        backColor_(::GetSysColor(COLOR_WINDOW)),
        brush_(::GetSysColorBrush(COLOR_WINDOW)) {}  // a shared system brush, never deleted
  CCtlColored(const CCtlColored&) = delete;
  CCtlColored& operator=(const CCtlColored&) = delete;

  // backColor CLR_INVALID leaves the DC's background colour alone.
  void SetCtlColors(COLORREF textColor, COLORREF backColor) {
    textColor_ = textColor;
    backColor_ = backColor;
  }

  BOOL ProcessWindowMessage(HWND, UINT message, WPARAM wParam, LPARAM, LRESULT& result) {
    int bit = -1;
    switch (message) {
      case WM_CTLCOLORDLG:
        bit = 0;
        break;
      case WM_CTLCOLORSTATIC:
        bit = 1;
        break;
      case WM_CTLCOLOREDIT:
        bit = 2;
        break;
      case WM_CTLCOLORBTN:
        bit = 3;
        break;
      case WM_CTLCOLORLISTBOX:
        bit = 4;
        break;
      case WM_CTLCOLORSCROLLBAR:
        bit = 5;
        break;
      default:
        return FALSE;
    }
    if (!(Mask & (1u << bit))) return FALSE;
    HDC dc = reinterpret_cast<HDC>(wParam);
    ::SetTextColor(dc, textColor_);
    if (backColor_ != CLR_INVALID) ::SetBkColor(dc, backColor_);
    ::SelectObject(dc, brush_);  // left in the child's DC, as the answer's brush is expected there
    result = reinterpret_cast<LRESULT>(brush_);
    return TRUE;
  }

 private:
  COLORREF textColor_;
  COLORREF backColor_;
  HBRUSH brush_;  // borrowed
};

}  // namespace quillan
