#include "ui_test_support.h"

#include <algorithm>

#include "dib_pixels.h"

namespace quillan::test {

Canvas::Canvas(int width, int height, COLORREF fill) : width_(width), height_(height) {
  void* bits = nullptr;
  bitmap_ = standin::CreateTopDownBitmap(width, height, &bits);
  bits_ = static_cast<uint32_t*>(bits);
  dc_.reset(::CreateCompatibleDC(nullptr));
  ::SelectObject(dc_.get(), bitmap_.get());
  std::fill(bits_, bits_ + static_cast<size_t>(width) * height,
            (GetRValue(fill) << 16) | (GetGValue(fill) << 8) | GetBValue(fill));
}

COLORREF Canvas::Pixel(int x, int y) const {
  ::GdiFlush();
  const uint32_t v = bits_[static_cast<size_t>(y) * width_ + x];
  return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
}

bool Canvas::Contains(const RECT& area, COLORREF color) const {
  for (int y = std::max(0L, area.top); y < std::min<long>(height_, area.bottom); ++y) {
    for (int x = std::max(0L, area.left); x < std::min<long>(width_, area.right); ++x) {
      if (Pixel(x, y) == color) return true;
    }
  }
  return false;
}

bool Canvas::SaveBmp(const std::wstring& path) const { return standin::SavePixels(bits_, width_, height_, path, L"image/bmp"); }

RECT RectInParent(HWND window) {
  RECT rect = {};
  ::GetWindowRect(window, &rect);
  ::MapWindowPoints(nullptr, ::GetParent(window), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

void PrintWindowTree(HWND window, Canvas* canvas) {
  ::SendMessageW(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas->dc()), PRF_CLIENT);
  std::vector<HWND> children;
  for (HWND child = ::GetWindow(window, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) children.push_back(child);
  for (auto it = children.rbegin(); it != children.rend(); ++it) {
    if (!::IsWindowVisible(*it)) continue;
    const RECT rect = RectInParent(*it);
    const int saved = ::SaveDC(canvas->dc());
    ::OffsetViewportOrgEx(canvas->dc(), rect.left, rect.top, nullptr);
    ::IntersectClipRect(canvas->dc(), 0, 0, rect.right - rect.left, rect.bottom - rect.top);
    PrintWindowTree(*it, canvas);
    ::RestoreDC(canvas->dc(), saved);
  }
}

long GdiObjectCount() {
  if (DWORD count = ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS)) return static_cast<long>(count);
  // Wine's handle table answers an index without its uniqueness bits: every live object is found there.
  long live = 0;
  for (ULONG_PTR index = 1; index < 0x10000; ++index) live += ::GetObjectType(reinterpret_cast<HGDIOBJ>(index)) ? 1 : 0;
  return live;
}

namespace {

BOOL CALLBACK CountWindow(HWND window, LPARAM count) {
  ++*reinterpret_cast<long*>(count);
  ::EnumChildWindows(window, CountWindow, count);
  return TRUE;
}

}  // namespace

long UserObjectCount() {
  if (DWORD count = ::GetGuiResources(::GetCurrentProcess(), GR_USEROBJECTS)) return static_cast<long>(count);
  long windows = 0;
  ::EnumThreadWindows(::GetCurrentThreadId(), CountWindow, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

RecordingWindow::RecordingWindow(const wchar_t* className) : className_(className) {
  WNDCLASSW wc = {0, Proc, 0, 0, ::GetModuleHandleW(nullptr)};
  wc.lpszClassName = className_.c_str();
  ::RegisterClassW(&wc);  // may exist already from an earlier window of the test
  window_ = ::CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr, wc.hInstance, this);
}

RecordingWindow::~RecordingWindow() {
  ::DestroyWindow(window_);
  ::UnregisterClassW(className_.c_str(), ::GetModuleHandleW(nullptr));
}

LRESULT CALLBACK RecordingWindow::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    ::SetWindowLongPtrW(window, GWLP_USERDATA,
                        reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
  }
  auto* self = reinterpret_cast<RecordingWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self && message == WM_COPYDATA) {
    const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    self->records_.push_back({data->dwData, std::string(static_cast<const char*>(data->lpData), data->lpData ? data->cbData : 0)});
    return 1;
  }
  if (message == WM_NCDESTROY) ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
  return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace quillan::test
