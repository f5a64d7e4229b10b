#include "ui/window_impl_ex.h"

#include "ui/memory_bitmap_dc.h"

namespace quillan {
namespace {

HFONT CreateDefaultFont() {
  LOGFONTW font = {};
  font.lfHeight = -12;
  font.lfWeight = FW_NORMAL;
  lstrcpynW(font.lfFaceName, L"Tahoma", LF_FACESIZE);
  return ::CreateFontIndirectW(&font);
}

SIZE BitmapSize(HBITMAP bitmap) {
  BITMAP info = {};
  if (!bitmap || ::GetObjectW(bitmap, sizeof(info), &info) != sizeof(info)) return SIZE{0, 0};
  return SIZE{info.bmWidth, info.bmHeight};
}

}  // namespace

CWindowImplExBase::CWindowImplExBase() : ownFont_(CreateDefaultFont()), font_(ownFont_.get()) {}

CWindowImplExBase::~CWindowImplExBase() = default;

void CWindowImplExBase::LayoutControls(int, int) {}

void CWindowImplExBase::SetBackgroundBitmap(HBITMAP bitmap, int scaledLeftWidth) {
  background_ = bitmap;
  SIZE size = BitmapSize(bitmap);
  backgroundWidth_ = size.cx;
  backgroundHeight_ = size.cy;
  scaledLeftWidth_ = scaledLeftWidth;
  dirty_ = true;
}

void CWindowImplExBase::ForgetBorrowedFont() {
  if (!ownFont_) font_ = nullptr;
}

BOOL CWindowImplExBase::ProcessExMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  switch (message) {
    case WM_SETFONT:
      OnSetFont(window, reinterpret_cast<HFONT>(wParam), lParam != 0);
      result = 0;
      return TRUE;
    case WM_GETFONT:
      result = reinterpret_cast<LRESULT>(font_);
      return TRUE;
    case WM_PAINT:
    case WM_PRINTCLIENT:
      PaintInto(window, wParam, [this, window](HDC dc) { Paint(window, dc); });
      result = 0;
      return TRUE;
    case WM_ERASEBKGND:
      result = 1;
      return TRUE;
    case WM_SIZE:
      OnSize(window, static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)));
      result = 0;
      return TRUE;
    case WM_EX_DRAWBKGND:
      result = CopyBackgroundTo(window, reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
      return TRUE;
    default:
      return FALSE;
  }
}

void CWindowImplExBase::OnSetFont(HWND window, HFONT font, bool redraw) {
  // Only the font made at construction is ours; a font handed over by WM_SETFONT (the dialog
  // template's font, which the dialog manager deletes itself) is borrowed.
  if (font != ownFont_.get()) ownFont_.reset();
  font_ = font;
  if (redraw) ::InvalidateRect(window, nullptr, FALSE);
}

void CWindowImplExBase::OnSize(HWND window, int cx, int cy) {
  dirty_ = true;
  LayoutControls(cx, cy);
  if (cornerRadius_ != -1) {
    HRGN region = ::CreateRoundRectRgn(0, 0, cx + 1, cy + 1, cornerRadius_, cornerRadius_);
    // The window owns the region once it is set; a refused region is ours to delete.
    if (region && !::SetWindowRgn(window, region, TRUE)) ::DeleteObject(region);
  }
}

bool CWindowImplExBase::PrepareBackBuffer(HDC reference, int cx, int cy) {
  if (backBuffer_) {
    SIZE size = BitmapSize(backBuffer_.get());
    if (size.cx != cx || size.cy != cy) {
      backBuffer_.reset();
      dirty_ = true;
    }
  }
  if (!backBuffer_) {
    if (cx <= 0 || cy <= 0) return false;
    backBuffer_.reset(::CreateCompatibleBitmap(reference, cx, cy));
    dirty_ = true;
  }
  return backBuffer_.valid();
}

void CWindowImplExBase::Paint(HWND window, HDC target) {
  RECT client = {};
  if (!::GetClientRect(window, &client)) return;
  int cx = client.right - client.left;
  int cy = client.bottom - client.top;
  if (!PrepareBackBuffer(target, cx, cy)) return;
  MemoryBitmapDc buffer(backBuffer_.get(), target);
  if (!buffer) return;
  if (dirty_) {
    dirty_ = false;
    DrawBackground(buffer.dc(), cx, cy);
  }
  ::BitBlt(target, 0, 0, cx, cy, buffer.dc(), 0, 0, SRCCOPY);
}

void CWindowImplExBase::DrawBackground(HDC dc, int cx, int cy) {
  if (!background_) {
    UniqueBrush brush(::CreateSolidBrush(kNoBackground));
    RECT all = {0, 0, cx, cy};
    if (brush) ::FillRect(dc, &all, brush.get());
    return;
  }
  MemoryBitmapDc source(background_, dc);
  if (!source) return;
  // Plain pixel replication: the default mode would AND rows together when shrinking.
  int oldMode = ::SetStretchBltMode(dc, COLORONCOLOR);
  ::StretchBlt(dc, 0, 0, scaledLeftWidth_, cy, source.dc(), 0, 0, leftSegment_, backgroundHeight_, SRCCOPY);
  ::StretchBlt(dc, scaledLeftWidth_, 0, cx - scaledLeftWidth_, cy, source.dc(), leftSegment_, 0,
               backgroundWidth_ - leftSegment_, backgroundHeight_, SRCCOPY);
  if (oldMode) ::SetStretchBltMode(dc, oldMode);
}

LRESULT CWindowImplExBase::CopyBackgroundTo(HWND window, HDC childDc, HWND child) {
  if (!backBuffer_ || !childDc || !child) return 0;
  RECT rect = {};
  if (!::GetWindowRect(child, &rect)) return 0;
  ::MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
  MemoryBitmapDc buffer(backBuffer_.get(), childDc);
  if (!buffer) return 0;
  // A child may paint before its parent after a layout: bring the buffer up to date first.
  if (dirty_) {
    RECT client = {};
    ::GetClientRect(window, &client);
    if (client.right == buffer.width() && client.bottom == buffer.height()) {
      dirty_ = false;
      DrawBackground(buffer.dc(), client.right, client.bottom);
    }
  }
  ::BitBlt(childDc, 0, 0, rect.right - rect.left, rect.bottom - rect.top, buffer.dc(), rect.left, rect.top, SRCCOPY);
  return 1;
}

}  // namespace quillan
