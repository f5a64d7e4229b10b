#include "window_picture.h"

#include <objidl.h>
// GDI+ needs the OLE types that WIN32_LEAN_AND_MEAN leaves out.
#include <gdiplus.h>

#include <vector>

#include "base/handle.h"

namespace quillan::standin {

namespace {

bool PngEncoder(CLSID* clsid) {
  UINT count = 0;
  UINT bytes = 0;
  if (Gdiplus::DllExports::GdipGetImageEncodersSize(&count, &bytes) != Gdiplus::Ok || bytes == 0) return false;
  std::vector<BYTE> buffer(bytes);
  auto* encoders = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
  if (Gdiplus::DllExports::GdipGetImageEncoders(count, bytes, encoders) != Gdiplus::Ok) return false;
  for (UINT i = 0; i < count; ++i) {
    if (encoders[i].MimeType && std::wstring(encoders[i].MimeType) == L"image/png") {
      *clsid = encoders[i].Clsid;
      return true;
    }
  }
  return false;
}

// Lets pending paints of this thread (and, briefly, of others drawing into the window) happen.
void PumpPaints(DWORD ms) {
  DWORD start = ::GetTickCount();
  do {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE)) ::DispatchMessageW(&msg);
    ::Sleep(5);
  } while (::GetTickCount() - start < ms);
}

}  // namespace

bool SaveWindowPicture(HWND window, const std::wstring& path, SIZE* size, std::wstring* error) {
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

  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  UniqueBitmap bitmap(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
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
  }
  ::GdiFlush();

  ULONG_PTR token = 0;
  Gdiplus::GdiplusStartupInput input;
  if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) {
    *error = L"GDI+ does not start";
    return false;
  }
  bool saved = false;
  {
    CLSID png;
    Gdiplus::GpBitmap* image = nullptr;
    if (!PngEncoder(&png)) {
      *error = L"no PNG encoder";
    } else if (Gdiplus::DllExports::GdipCreateBitmapFromScan0(width, height, width * 4, PixelFormat32bppRGB,
                                                              static_cast<BYTE*>(bits), &image) != Gdiplus::Ok) {
      *error = L"GdipCreateBitmapFromScan0 failed";
    } else {
      saved = Gdiplus::DllExports::GdipSaveImageToFile(image, path.c_str(), &png, nullptr) == Gdiplus::Ok;
      if (!saved) *error = L"cannot write the file";
      Gdiplus::DllExports::GdipDisposeImage(image);
    }
  }
  Gdiplus::GdiplusShutdown(token);
  if (saved && size) *size = {width, height};
  return saved;
}

}  // namespace quillan::standin
