// A hyperlink drawn by a static control: hover look, pointer capture, keyboard activation, a tooltip,
// and on a click a WM_COMMAND or WM_NOTIFY to the parent or ShellExecuteW of the link target.
// Usually bound to an existing static control (SubclassWindow, then Init); Create makes a new one.
#pragma once

#include <windows.h>

#include <string>

#include "base/handle.h"
#include "base/window_impl_base.h"

namespace quillan {

class CHyperLinkEx : public CWindowImplBase {
 public:
  // Extended style bits.
  static constexpr DWORD kNotUnderlined = 0x01;
  static constexpr DWORD kUnderlineHover = 0x02;  // link font and hover colours only under the pointer
  static constexpr DWORD kCommandButton = 0x04;   // a click sends WM_COMMAND to the parent
  static constexpr DWORD kNotifyButton = 0x0C;    // a click sends WM_NOTIFY (NM_CLICK) to the parent
  static constexpr DWORD kUseTags = 0x10;         // only the part between <A> and </A> is the link
  static constexpr DWORD kUseTagsBold = 0x30;     // ... drawn bold
  static constexpr DWORD kNoToolTip = 0x40;       // no relaying of pointer messages to the tooltip

  static constexpr COLORREF kBandLinkColor = RGB(21, 104, 248);
  static constexpr COLORREF kBandHoverColor = RGB(29, 124, 220);

  CHyperLinkEx() = default;
  ~CHyperLinkEx() override = default;

  BOOL ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

  // A new link window (its own class), initialised on WM_CREATE with the band's colours.
  HWND Create(HWND parent, const RECT& rect, const wchar_t* text, DWORD style, UINT id);
  // Prepares a bound control: notify style, cursor, fonts, tooltip, label, link rectangle, colours
  // from the user's Internet settings.
  void Init();

  void SetLinkColors(COLORREF link, COLORREF visited, COLORREF hover, COLORREF hoverVisited);
  void SetExtendedStyle(DWORD style) { extendedStyle_ = style; }
  // Stores the label, recomputes the link rectangle and sets the window text.
  bool SetLabel(const std::wstring& label);
  // Stores the target, recomputes the link rectangle (without a label) and updates the tooltip.
  bool SetHyperLink(const std::wstring& target);

 private:
  // Pointer, keyboard and cursor messages.
  BOOL ProcessInputMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
  void RelayToToolTip(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void OnLButtonDown(LPARAM lParam);
  void OnMouseMove(LPARAM lParam);
  void OnLButtonUp(LPARAM lParam);
  bool OnSetCursor();
  void OnSetFont(HFONT font, bool redraw);
  void Repaint(bool update);
  void LeaveHover();
  // Setting up a bound control (Init).
  void BecomeNotifying();
  void MakeLinkFont();
  void MakeToolTip();
  void AddToolTipTool();
  void ReadAnchorColors();
  // The link.
  bool HasAction() const;
  bool IsInLink(POINT point) const;
  void Navigate();
  // Measuring and painting (hyper_link_ex_draw.cpp).
  const std::wstring& Text() const { return label_.empty() ? target_ : label_; }
  void CalcLinkRect();
  void SplitTags(std::wstring* before, std::wstring* link, std::wstring* after) const;
  void Paint(HDC dc);
  void EraseBackground(HDC dc, const RECT& client);
  void PaintTagged(HDC dc, const RECT& client, COLORREF color, HFONT font);

  std::wstring label_;
  std::wstring target_;
  HCURSOR cursor_ = nullptr;
  UniqueFont linkFont_;
  HFONT normalFont_ = nullptr;  // borrowed
  RECT linkRect_ = {0, 0, 0, 0};
  UniqueWindow toolTip_;
  COLORREF linkColor_ = RGB(0, 0, 255);
  COLORREF visitedColor_ = RGB(128, 0, 128);
  COLORREF hoverColor_ = RGB(0, 0, 255);
  COLORREF hoverVisitedColor_ = RGB(128, 0, 128);
  DWORD extendedStyle_ = kUnderlineHover | kCommandButton;
  bool paintLabel_ = true;
  bool visited_ = false;
  bool hover_ = false;
};

}  // namespace quillan
