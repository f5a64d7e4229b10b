#include "ui_test_support.h"

#include <algorithm>

#include "dib_pixels.h"

namespace quillan::test {

Canvas::Canvas(int width, int height, COLORREF fill) : width_(width), height_(height) {
  void* bits = nullptr;
  bitmap_ = standin::CreateTopDownBitmap(width, height, &bits).release();
  bits_ = static_cast<uint32_t*>(bits);
  dc_ = ::CreateCompatibleDC(nullptr);
  previous_ = ::SelectObject(dc_, bitmap_);
  uint32_t value = (GetRValue(fill) << 16) | (GetGValue(fill) << 8) | GetBValue(fill);
  std::fill(bits_, bits_ + static_cast<size_t>(width) * height, value);
}

Canvas::~Canvas() {
  ::SelectObject(dc_, previous_);
  ::DeleteDC(dc_);
  ::DeleteObject(bitmap_);
}

COLORREF Canvas::Pixel(int x, int y) const {
  ::GdiFlush();
  uint32_t v = bits_[static_cast<size_t>(y) * width_ + x];
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

bool Canvas::SaveBmp(const std::wstring& path) const {
  return standin::SavePixels(bits_, width_, height_, path, L"image/bmp");
}

RECT RectInParent(HWND window) {
  RECT rect = {};
  ::GetWindowRect(window, &rect);
  ::MapWindowPoints(nullptr, ::GetParent(window), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

void PrintWindowTree(HWND window, Canvas* canvas) {
  ::SendMessageW(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas->dc()), PRF_CLIENT);
  std::vector<HWND> children;
  for (HWND child = ::GetWindow(window, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
    children.push_back(child);
  }
  for (auto it = children.rbegin(); it != children.rend(); ++it) {
    if (!::IsWindowVisible(*it)) continue;
    RECT rect = RectInParent(*it);
    int saved = ::SaveDC(canvas->dc());
    POINT origin;
    ::OffsetViewportOrgEx(canvas->dc(), rect.left, rect.top, &origin);
    ::IntersectClipRect(canvas->dc(), 0, 0, rect.right - rect.left, rect.bottom - rect.top);
    PrintWindowTree(*it, canvas);
    ::RestoreDC(canvas->dc(), saved);
  }
}

long GdiObjectCount() {
  DWORD count = ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS);
  if (count != 0) return static_cast<long>(count);
  // Wine's GetGuiResources is a stub; its GDI handle table accepts an index without the
  // uniqueness bits, so every live object answers GetObjectType at its index.
  long live = 0;
  for (ULONG_PTR index = 1; index < 0x10000; ++index) {
    if (::GetObjectType(reinterpret_cast<HGDIOBJ>(index)) != 0) ++live;
  }
  return live;
}

namespace {

BOOL CALLBACK CountWindow(HWND window, LPARAM param) {
  ++*reinterpret_cast<long*>(param);
  ::EnumChildWindows(window, CountWindow, param);
  return TRUE;
}

}  // namespace

long UserObjectCount() {
  DWORD count = ::GetGuiResources(::GetCurrentProcess(), GR_USEROBJECTS);
  if (count != 0) return static_cast<long>(count);
  long windows = 0;
  ::EnumThreadWindows(::GetCurrentThreadId(), CountWindow, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

RecordingWindow::RecordingWindow(const wchar_t* className, DWORD style) : className_(className) {
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = Proc;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.lpszClassName = className_.c_str();
  ::RegisterClassExW(&wc);  // may exist already from an earlier window of the test
  window_ = ::CreateWindowExW(0, className_.c_str(), L"", style, 0, 0, 100, 100, nullptr, nullptr,
                              ::GetModuleHandleW(nullptr), this);
}

RecordingWindow::~RecordingWindow() {
  if (::IsWindow(window_)) ::DestroyWindow(window_);
  ::UnregisterClassW(className_.c_str(), ::GetModuleHandleW(nullptr));
}

std::vector<RecordingWindow::Message> RecordingWindow::Received(UINT message) const {
  std::vector<Message> out;
  for (const Message& m : messages_) {
    if (m.message == message) out.push_back(m);
  }
  return out;
}

LRESULT CALLBACK RecordingWindow::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<RecordingWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self) {
    Message m = {message, wParam, lParam, 0, std::string()};
    if (message == WM_COPYDATA && lParam) {
      auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
      m.code = data->dwData;
      if (data->lpData) m.payload.assign(static_cast<const char*>(data->lpData), data->cbData);
    }
    self->messages_.push_back(std::move(m));
    if (message == WM_COPYDATA) return 1;
  }
  if (message == WM_NCDESTROY) ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
  return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace quillan::test
