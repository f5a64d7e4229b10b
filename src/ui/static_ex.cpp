#include "ui/static_ex.h"

#include <string>

#include "base/handle.h"
#include "ui/dpi_scale.h"
#include "ui/memory_bitmap_dc.h"
#include "ui/window_impl_ex.h"

namespace quillan {
namespace {

COLOR16 Channel(BYTE value) { return static_cast<COLOR16>(value << 8); }

}  // namespace

BOOL CStaticEx::ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  switch (message) {
    case WM_ERASEBKGND:
      result = 1;
      return TRUE;
    case WM_PAINT:
    case WM_PRINTCLIENT:
      PaintInto(window, wParam, [this](HDC dc) { Paint(dc); });
      result = 0;
      return TRUE;
    case WM_STATICEX_SETPICTURE:
      OnSetPicture(wParam, lParam);
      result = 0;
      return TRUE;
    default:
      return FALSE;
  }
}

void CStaticEx::OnFinalMessage(HWND) { picture_.reset(); }

void CStaticEx::SetText(const std::wstring& text) {
  if (!IsWindow()) return;
  // The platform control draws a new text at once while visible; redraw is off around the change
  // so that only our painting shows.
  if (::IsWindowVisible(m_hWnd)) {
    ::SendMessageW(m_hWnd, WM_SETREDRAW, FALSE, 0);
    ::SetWindowTextW(m_hWnd, text.c_str());
    ::SendMessageW(m_hWnd, WM_SETREDRAW, TRUE, 0);
  } else {
    ::SetWindowTextW(m_hWnd, text.c_str());
  }
  ::InvalidateRect(m_hWnd, nullptr, TRUE);
}

bool CStaticEx::MeasureText(SIZE* size) const {
  *size = SIZE{0, 0};
  if (!m_hWnd) return false;
  std::wstring text = WindowText(m_hWnd);
  if (text.empty()) return false;
  WindowDc screen(nullptr);
  if (!screen) return false;
  SelectObjectScope font(screen.get(), DrawingFont());
  RECT rect = {textX_, textY_, 10000, 10000};
  ::DrawTextW(screen.get(), text.c_str(), -1, &rect, DT_CALCRECT | TextFormat());
  size->cx = rect.right - rect.left;
  size->cy = rect.bottom - rect.top;
  return true;
}

void CStaticEx::SetPictureSource(const std::wstring& path, const RECT* margins, int cx, int cy) {
  pictureSource_ = path;
  margins_ = margins ? *margins : RECT{0, 0, 0, 0};
  if (m_hWnd) ::PostMessageW(m_hWnd, WM_STATICEX_SETPICTURE, 1, MAKELPARAM(cx, cy));
}

void CStaticEx::SetIconBitmap(HBITMAP bitmap, int width, int height, int x, int y) {
  icon_ = bitmap;
  iconWidth_ = width;
  iconHeight_ = height;
  iconX_ = x;
  iconY_ = y;
}

void CStaticEx::SetGradient(COLORREF top, COLORREF bottom) {
  gradientTop_ = top;
  gradientBottom_ = bottom;
}

void CStaticEx::SetBottomLines(COLORREF first, COLORREF second) {
  lineFirst_ = first;
  lineSecond_ = second;
}

void CStaticEx::SetTextOffset(int x, int y) {
  textX_ = x;
  textY_ = y;
}

HFONT CStaticEx::DrawingFont() const {
  if (font_) return font_;
  HWND parent = m_hWnd ? ::GetParent(m_hWnd) : nullptr;
  HFONT parentFont = parent ? reinterpret_cast<HFONT>(::SendMessageW(parent, WM_GETFONT, 0, 0)) : nullptr;
  return parentFont ? parentFont : static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
}

UINT CStaticEx::TextFormat() const {
  LONG_PTR type = ::GetWindowLongPtrW(m_hWnd, GWL_STYLE) & SS_TYPEMASK;
  if (type == SS_CENTER) return DT_CENTER | DT_VCENTER | DT_SINGLELINE;
  if (type == SS_RIGHT) return DT_RIGHT;
  return DT_LEFT;
}

void CStaticEx::Paint(HDC dc) {
  RECT client = {};
  ::GetClientRect(m_hWnd, &client);
  // Also under an alpha icon: its transparent pixels must blend over the bar, not over whatever
  // the screen held there before.
  EraseBackground(dc, client);
  if (background_) {
    MemoryBitmapDc source(background_, dc);
    if (source) {
      ::StretchBlt(dc, 0, 0, client.right, client.bottom, source.dc(), 0, 0, source.width(), source.height(), SRCCOPY);
    }
  }
  DrawPicture(dc, client);
  if (!alphaIcon_) DrawGradientAndLines(dc, client);
  DrawIcon(dc);
  DrawLabel(dc, client);
}

void CStaticEx::EraseBackground(HDC dc, const RECT& client) {
  HWND parent = ::GetParent(m_hWnd);
  if (!parent) return;
  if (::SendMessageW(parent, WM_EX_DRAWBKGND, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(m_hWnd))) {
    return;
  }
  auto brush = reinterpret_cast<HBRUSH>(
      ::SendMessageW(parent, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(m_hWnd)));
  if (brush) ::FillRect(dc, &client, brush);
}

void CStaticEx::DrawPicture(HDC dc, const RECT& client) {
  if (!HasPicture()) return;
  RECT inner = {client.left + margins_.left, client.top + margins_.top, client.right - margins_.right,
                client.bottom - margins_.bottom};
  RECT box = inner;
  if (pictureCx_ >= 1 && pictureCy_ >= 1) {
    // Centred in the inner area's size, counted from the client origin.
    int x = (inner.right - inner.left - pictureCx_) / 2;
    int y = (inner.bottom - inner.top - pictureCy_) / 2;
    box = RECT{x, y, x + pictureCx_, y + pictureCy_};
  }
  picture_->Render(dc, box);
}

void CStaticEx::DrawGradientAndLines(HDC dc, const RECT& client) {
  if (gradientTop_ != CLR_INVALID && gradientBottom_ != CLR_INVALID) {
    if (gradientTop_ != gradientBottom_) {
      TRIVERTEX vertices[2] = {};
      vertices[0].x = client.left;
      vertices[0].y = client.top;
      vertices[0].Red = Channel(GetRValue(gradientTop_));
      vertices[0].Green = Channel(GetGValue(gradientTop_));
      vertices[0].Blue = Channel(GetBValue(gradientTop_));
      vertices[1].x = client.right;
      vertices[1].y = client.bottom;
      vertices[1].Red = Channel(GetRValue(gradientBottom_));
      vertices[1].Green = Channel(GetGValue(gradientBottom_));
      vertices[1].Blue = Channel(GetBValue(gradientBottom_));
      GRADIENT_RECT rect = {0, 1};
      ::GradientFill(dc, vertices, 2, &rect, 1, GRADIENT_FILL_RECT_V);
    } else {
      COLORREF old = ::SetBkColor(dc, gradientTop_);
      ::ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &client, nullptr, 0, nullptr);
      ::SetBkColor(dc, old);
    }
  }
  if (lineFirst_ != CLR_INVALID && lineSecond_ != CLR_INVALID) {
    SelectObjectScope pen(dc, ::GetStockObject(DC_PEN));
    const COLORREF oldColor = ::SetDCPenColor(dc, lineFirst_);
    ::MoveToEx(dc, client.left, client.bottom - 2, nullptr);
    ::LineTo(dc, client.right, client.bottom - 2);
    ::SetDCPenColor(dc, lineSecond_);
    ::MoveToEx(dc, client.left, client.bottom - 1, nullptr);
    ::LineTo(dc, client.right, client.bottom - 1);
    ::SetDCPenColor(dc, oldColor);
  }
}

void CStaticEx::DrawIcon(HDC dc) {
  if (!icon_) return;
  MemoryBitmapDc source(icon_, dc);
  if (!source) return;
  if (alphaIcon_) {
    BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    ::AlphaBlend(dc, iconX_, iconY_, DpiScale::Scaled(iconWidth_), DpiScale::Scaled(iconHeight_), source.dc(), 0, 0,
                 source.width(), source.height(), blend);
  } else {
    ::TransparentBlt(dc, iconX_, iconY_, iconWidth_, iconHeight_, source.dc(), 0, 0, iconWidth_, iconHeight_,
                     RGB(255, 0, 255));
  }
}

void CStaticEx::DrawLabel(HDC dc, const RECT& client) {
  std::wstring text = WindowText(m_hWnd);
  if (text.empty()) return;
  RECT rect = client;
  rect.left += textX_;
  rect.top += textY_;
  SelectObjectScope font(dc, DrawingFont());
  TextStyleScope style(dc, ::IsWindowEnabled(m_hWnd) ? textColor_ : ::GetSysColor(COLOR_GRAYTEXT));
  ::DrawTextW(dc, text.c_str(), -1, &rect, TextFormat());
}

void CStaticEx::OnSetPicture(WPARAM repaint, LPARAM size) {
  if (pictureSource_.empty()) {
    picture_.reset();
  } else {
    if (!picture_) picture_ = std::make_unique<PictureHolder>();
    // A failed load leaves the holder empty: the control shows no picture.
    picture_->Load(pictureSource_);
  }
  pictureCx_ = LOWORD(size);
  pictureCy_ = HIWORD(size);
  if (repaint) ::InvalidateRect(m_hWnd, nullptr, FALSE);
}

}  // namespace quillan
