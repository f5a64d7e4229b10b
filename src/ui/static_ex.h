// An owner-drawn static control: the parent's background under it, then a stretched bitmap, a
// picture loaded from a file, a gradient, two bottom lines, an icon and the window text. Bound to an
// existing static control (a dialog item) by subclassing. The bitmaps and fonts it shows are
// borrowed from its owner; it owns only its picture.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "base/window_impl_base.h"
#include "ui/picture_holder.h"

namespace quillan {

// Posted to a CStaticEx to (re)load its picture source: wParam non-zero repaints afterwards;
// lParam low word cx, high word cy of the picture's box (0: the whole inner rectangle).
constexpr UINT WM_STATICEX_SETPICTURE = 0x2B10;

class CStaticEx : public CWindowImplBase {
 public:
  CStaticEx() = default;
  ~CStaticEx() override = default;

  BOOL ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  void OnFinalMessage(HWND window) override;

  // Sets the window text without the platform control drawing it first, then repaints.
  void SetText(const std::wstring& text);
  // The size of the window text as drawn; false and 0 x 0 for an empty text.
  bool MeasureText(SIZE* size) const;
  // Stores the picture file (empty: none) and the margins (null: none), then posts
  // WM_STATICEX_SETPICTURE with the repaint flag and the picture box size.
  void SetPictureSource(const std::wstring& path, const RECT* margins, int cx = 0, int cy = 0);

  void SetTextColor(COLORREF color) { textColor_ = color; }
  // Borrowed; null uses the parent's font, else DEFAULT_GUI_FONT.
  void SetFont(HFONT font) { font_ = font; }
  void SetBackgroundBitmap(HBITMAP bitmap) { background_ = bitmap; }
  void SetIconBitmap(HBITMAP bitmap, int width, int height, int x, int y);
  // In alpha-icon mode the icon is blended with its per-pixel alpha and scaled by the display
  // scale; gradient and lines are not drawn.
  void SetAlphaIcon(bool on) { alphaIcon_ = on; }
  // CLR_INVALID in either colour: no gradient. Equal colours: a solid fill.
  void SetGradient(COLORREF top, COLORREF bottom);
  // CLR_INVALID in either colour: no lines.
  void SetBottomLines(COLORREF first, COLORREF second);
  void SetTextOffset(int x, int y);

 private:
  bool HasPicture() const { return picture_ && picture_->loaded(); }
  // The font the text is drawn and measured with.
  HFONT DrawingFont() const;
  void Paint(HDC dc);
  void EraseBackground(HDC dc, const RECT& client);
  void DrawPicture(HDC dc, const RECT& client);
  void DrawGradientAndLines(HDC dc, const RECT& client);
  void DrawIcon(HDC dc);
  void DrawLabel(HDC dc, const RECT& client);
  UINT TextFormat() const;
  void OnSetPicture(WPARAM repaint, LPARAM size);

  std::wstring pictureSource_;
  std::unique_ptr<PictureHolder> picture_;
  int pictureCx_ = 0;
  int pictureCy_ = 0;
  RECT margins_ = {0, 0, 0, 0};
  COLORREF gradientTop_ = CLR_INVALID;
  COLORREF gradientBottom_ = CLR_INVALID;
  COLORREF lineFirst_ = CLR_INVALID;
  COLORREF lineSecond_ = CLR_INVALID;
  COLORREF textColor_ = RGB(0, 0, 0);
  HBITMAP icon_ = nullptr;  // borrowed
  int iconWidth_ = 0;
  int iconHeight_ = 0;
  int iconX_ = 0;
  int iconY_ = 0;
  int textX_ = 0;
  int textY_ = 0;
  HBITMAP background_ = nullptr;  // borrowed
  HFONT font_ = nullptr;          // borrowed
  bool alphaIcon_ = false;
};

}  // namespace quillan
