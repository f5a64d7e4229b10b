#include "window_picture.h"

#include <cstring>
#include <string>
#include <vector>

#include "base/handle.h"
#include "dib_pixels.h"
#include "foreign_paint_protocol.h"

namespace quillan::standin {

namespace {

// Lets pending paints of this thread (and, briefly, of others drawing into the window) happen.
void PumpPaints(DWORD ms) {
  DWORD start = ::GetTickCount();
  do {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE)) ::DispatchMessageW(&msg);
    ::Sleep(5);
  } while (::GetTickCount() - start < ms);
}

BOOL CALLBACK CollectForeignWindow(HWND window, LPARAM param) {
  DWORD pid = 0;
  ::GetWindowThreadProcessId(window, &pid);
  if (pid != ::GetCurrentProcessId() && ::IsWindowVisible(window)) reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
  return TRUE;
}

// Asks one window of another process to paint itself into a section and copies its pixels over the
// picture, clipped to its parent's client area; false when it does not know the request.
bool PaintForeignWindow(HWND window, const RECT& pictureRect, HDC picture) {
  RECT rect;
  if (!::GetWindowRect(window, &rect)) return false;
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  if (width <= 0 || height <= 0 || width > 8192 || height > 8192) return false;
  const DWORD bytes = static_cast<DWORD>(width) * static_cast<DWORD>(height) * 4;
  static LONG counter = 0;
  PaintIntoSection request = {};
  request.width = static_cast<uint32_t>(width);
  request.height = static_cast<uint32_t>(height);
  const std::wstring name = L"Local\\QuillanStandinPaint-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                            std::to_wstring(::InterlockedIncrement(&counter));
  name.copy(request.section, 63);
  UniqueHandle mapping(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, bytes, name.c_str()));
  if (!mapping) return false;
  COPYDATASTRUCT data = {kPaintIntoSectionCode, sizeof request, &request};
  DWORD_PTR answer = 0;
  if (!::SendMessageTimeoutW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG, 2000, &answer) ||
      answer != 1) {
    return false;
  }
  const void* view = ::MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, bytes);
  if (!view) return false;
  void* bits = nullptr;
  UniqueBitmap copy = CreateTopDownBitmap(width, height, &bits);
  UniqueMemoryDc source(::CreateCompatibleDC(nullptr));
  bool copied = false;
  if (copy && source && bits) {
    std::memcpy(bits, view, bytes);
    // Only the part its parent shows.
    RECT visible = rect;
    RECT parent = {};
    HWND parentWindow = ::GetParent(window);
    if (parentWindow && ::GetClientRect(parentWindow, &parent)) {
      ::MapWindowPoints(parentWindow, nullptr, reinterpret_cast<POINT*>(&parent), 2);
      ::IntersectRect(&visible, &rect, &parent);
    }
    SelectObjectScope select(source.get(), copy.get());
    copied = ::BitBlt(picture, visible.left - pictureRect.left, visible.top - pictureRect.top, visible.right - visible.left,
                      visible.bottom - visible.top, source.get(), visible.left - rect.left, visible.top - rect.top,
                      SRCCOPY) != FALSE;
  }
  ::UnmapViewOfFile(view);
  return copied;
}

}  // namespace

bool SaveWindowPicture(HWND window, const std::wstring& path, SIZE* size, std::wstring* error, int* foreign,
                       int* painted) {
  HWND root = window ? ::GetAncestor(window, GA_ROOT) : nullptr;
  RECT rootRect;
  RECT target;
  if (!root || !::GetWindowRect(root, &rootRect) || !::GetWindowRect(window, &target)) {
    *error = L"no such window";
    return false;
  }
  if (!::IsWindowVisible(window)) {
    *error = L"the window is hidden (a picture needs a shown window)";
    return false;
  }
  int width = target.right - target.left;
  int height = target.bottom - target.top;
  if (width <= 0 || height <= 0) {
    *error = L"the window has no area";
    return false;
  }
  // Above other windows, so that no part of it is covered, and fully painted.
  ::SetWindowPos(root, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  ::RedrawWindow(root, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  PumpPaints(50);

  void* bits = nullptr;
  UniqueBitmap bitmap = CreateTopDownBitmap(width, height, &bits);
  UniqueMemoryDc memory(::CreateCompatibleDC(nullptr));
  if (!bitmap || !memory || !bits) {
    *error = L"no memory for the picture";
    return false;
  }
  {
    SelectObjectScope select(memory.get(), bitmap.get());
    HDC source = ::GetWindowDC(root);
    BOOL copied = source && ::BitBlt(memory.get(), 0, 0, width, height, source, target.left - rootRect.left,
                                     target.top - rootRect.top, SRCCOPY);
    if (source) ::ReleaseDC(root, source);
    if (!copied) {
      *error = L"BitBlt failed";
      return false;
    }
    std::vector<HWND> others;
    ::EnumChildWindows(window, &CollectForeignWindow, reinterpret_cast<LPARAM>(&others));
    int done = 0;
    for (HWND other : others) done += PaintForeignWindow(other, target, memory.get()) ? 1 : 0;
    if (foreign) *foreign = static_cast<int>(others.size());
    if (painted) *painted = done;
  }
  const bool saved = SavePixels(bits, width, height, path, L"image/png", error);
  if (saved && size) *size = {width, height};
  return saved;
}

}  // namespace quillan::standin
