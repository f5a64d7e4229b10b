// The double-buffered background of a window whose children paint over it: the background bitmap
// is drawn into a back buffer only when the buffer is dirty (new size, new layout), every paint is
// one copy from the buffer, and children ask for the part under them with WM_EX_DRAWBKGND instead of
// drawing the bitmap again. The left segment of the bitmap is stretched to its own scaled width and
// the rest to the remaining width, so the bitmap fits any window width.
#pragma once

#include <windows.h>

#include "base/handle.h"

namespace quillan {

// Sent by a child to its parent while painting: wParam the child's DC, lParam the child window.
// Non-zero when the parent copied its background into the DC.
constexpr UINT WM_EX_DRAWBKGND = 0x3439;

class CWindowImplExBase {
 public:
  static constexpr int kLeftSegment = 152;  // source pixels of the bitmap's left segment
  static constexpr COLORREF kNoBackground = RGB(234, 0, 234);

  CWindowImplExBase();
  virtual ~CWindowImplExBase();
  CWindowImplExBase(const CWindowImplExBase&) = delete;
  CWindowImplExBase& operator=(const CWindowImplExBase&) = delete;

  // Places the window's children for a client size; nothing in the base.
  virtual void LayoutControls(int cx, int cy);

  // Borrows bitmap as the background (null: a flat RGB(234,0,234)); its left segment is drawn
  // scaledLeftWidth pixels wide. Marks the back buffer dirty.
  void SetBackgroundBitmap(HBITMAP bitmap, int scaledLeftWidth);
  // Rounds the window's corners on the next WM_SIZE; -1 (the start value) keeps them square.
  void SetCornerRadius(int radius) { cornerRadius_ = radius; }
  void MarkDirty() { dirty_ = true; }

 protected:
  // WM_SETFONT, WM_GETFONT, WM_PAINT, WM_PRINTCLIENT, WM_ERASEBKGND, WM_SIZE and WM_EX_DRAWBKGND.
  BOOL ProcessExMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
  // After the window is gone: a font it was given belonged to someone else and may be gone too.
  void ForgetBorrowedFont();

 private:
  void Paint(HWND window, HDC target);
  // Brings the back buffer to the client size; false when there is none.
  bool PrepareBackBuffer(HDC reference, int cx, int cy);
  void DrawBackground(HDC dc, int cx, int cy);
  LRESULT CopyBackgroundTo(HWND window, HDC childDc, HWND child);
  void OnSetFont(HWND window, HFONT font, bool redraw);
  void OnSize(HWND window, int cx, int cy);

  UniqueBitmap backBuffer_;
  bool dirty_ = true;
  HBITMAP background_ = nullptr;  // borrowed
  int backgroundWidth_ = 0;
  int backgroundHeight_ = 0;
  int scaledLeftWidth_ = kLeftSegment;
  int leftSegment_ = kLeftSegment;
  int cornerRadius_ = -1;  // -1: no rounded window region
  UniqueFont ownFont_;    // the font made at construction, until another one is set
  HFONT font_ = nullptr;  // the font in use: ownFont_'s or a borrowed one
};

template <typename T>
class CWindowImplEx : public CWindowImplExBase {
 public:
  BOOL ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    return ProcessExMessage(window, message, wParam, lParam, result);
  }
};

}  // namespace quillan
