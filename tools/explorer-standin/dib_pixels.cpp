#include "dib_pixels.h"

#include <objidl.h>
// GDI+ needs the OLE types that WIN32_LEAN_AND_MEAN leaves out.
#include <gdiplus.h>

#include <vector>

namespace quillan::standin {

namespace {

bool FindEncoder(const wchar_t* mimeType, CLSID* clsid) {
  UINT count = 0;
  UINT bytes = 0;
  if (Gdiplus::DllExports::GdipGetImageEncodersSize(&count, &bytes) != Gdiplus::Ok || bytes == 0) return false;
  std::vector<BYTE> buffer(bytes);
  auto* encoders = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
  if (Gdiplus::DllExports::GdipGetImageEncoders(count, bytes, encoders) != Gdiplus::Ok) return false;
  for (UINT i = 0; i < count; ++i) {
    if (encoders[i].MimeType && std::wstring(encoders[i].MimeType) == mimeType) {
      *clsid = encoders[i].Clsid;
      return true;
    }
  }
  return false;
}

void Fail(std::wstring* error, const wchar_t* reason) {
  if (error) *error = reason;
}

}  // namespace

UniqueBitmap CreateTopDownBitmap(int width, int height, void** bits) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  *bits = nullptr;
  UniqueBitmap bitmap(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, bits, nullptr, 0));
  if (!bitmap || !*bits) {
    *bits = nullptr;
    return UniqueBitmap();
  }
  return bitmap;
}

bool SavePixels(const void* bits, int width, int height, const std::wstring& path, const wchar_t* mimeType,
                std::wstring* error) {
  ::GdiFlush();
  ULONG_PTR token = 0;
  Gdiplus::GdiplusStartupInput input;
  if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) {
    Fail(error, L"GDI+ does not start");
    return false;
  }
  bool saved = false;
  {
    CLSID encoder;
    Gdiplus::GpBitmap* image = nullptr;
    if (!FindEncoder(mimeType, &encoder)) {
      Fail(error, L"no encoder for the image type");
    } else if (Gdiplus::DllExports::GdipCreateBitmapFromScan0(width, height, width * 4, PixelFormat32bppRGB,
                                                              static_cast<BYTE*>(const_cast<void*>(bits)),
                                                              &image) != Gdiplus::Ok) {
      Fail(error, L"GdipCreateBitmapFromScan0 failed");
    } else {
      saved = Gdiplus::DllExports::GdipSaveImageToFile(image, path.c_str(), &encoder, nullptr) == Gdiplus::Ok;
      if (!saved) Fail(error, L"cannot write the file");
      Gdiplus::DllExports::GdipDisposeImage(image);
    }
  }
  Gdiplus::GdiplusShutdown(token);
  return saved;
}

}  // namespace quillan::standin
