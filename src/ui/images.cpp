#include "ui/images.h"

#include <objidl.h>
// GDI+'s headers need the OLE property types declared first.
#include <gdiplus.h>

#include <cstring>

#include "base/com_ptr.h"
#include "base/handle.h"
#include "base/module.h"
#include "resource.h"
#include "ui/dpi_scale.h"
#include "ui/system_version.h"

namespace quillan {
namespace {

// GDI+ for the length of one load.
class GdiplusSession {
 public:
  GdiplusSession() {
    Gdiplus::GdiplusStartupInput input;  // version 1, no callback, nothing suppressed
    started_ = Gdiplus::GdiplusStartup(&token_, &input, nullptr) == Gdiplus::Ok;
  }
  ~GdiplusSession() {
    if (started_) Gdiplus::GdiplusShutdown(token_);
  }
  GdiplusSession(const GdiplusSession&) = delete;
  GdiplusSession& operator=(const GdiplusSession&) = delete;
  bool started() const { return started_; }

 private:
  ULONG_PTR token_ = 0;
  bool started_ = false;
};

HBITMAP DecodePng(const void* bytes, DWORD size) {
  UniqueGlobal block(::GlobalAlloc(0, size));  // fixed memory: the pointer is the handle
  if (!block) return nullptr;
  std::memcpy(block.get(), bytes, size);
  ComPtr<IStream> stream;
  // The stream must not free the block: it is ours until after the stream is released.
  if (FAILED(::CreateStreamOnHGlobal(block.get(), FALSE, stream.Put()))) return nullptr;

  Gdiplus::GpBitmap* image = nullptr;
  if (Gdiplus::DllExports::GdipCreateBitmapFromStream(stream.Get(), &image) != Gdiplus::Ok) return nullptr;
  HBITMAP bitmap = nullptr;
  // Background 0 (transparent black) keeps the alpha channel in the 32-bit result.
  if (Gdiplus::DllExports::GdipCreateHBITMAPFromBitmap(image, &bitmap, 0) != Gdiplus::Ok) bitmap = nullptr;
  Gdiplus::DllExports::GdipDisposeImage(image);
  return bitmap;
}

}  // namespace

HBITMAP LoadPngBitmap(HMODULE module, UINT id) {
  GdiplusSession gdiplus;
  if (!gdiplus.started()) return nullptr;
  HRSRC resource = ::FindResourceW(module, MAKEINTRESOURCEW(id), L"PNG");
  if (!resource) return nullptr;
  DWORD size = ::SizeofResource(module, resource);
  if (size == 0) return nullptr;
  HGLOBAL loaded = ::LoadResource(module, resource);
  const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
  if (!bytes) return nullptr;
  return DecodePng(bytes, size);
}

int ImageSizeGroup(float scale) {
  // Each step carries 0.00001 of slack for the float scale read as a double. Scales off the table
  // (not produced by DpiScale) go to the nearest group.
  double s = scale;
  if (s < 1.50001) return 0;
  if (s < 2.25001) return 1;
  return 2;
}

UINT ProductImageId(float scale) {
  static const UINT kIds[] = {IDP_PRODUCT_16, IDP_PRODUCT_32, IDP_PRODUCT_48};
  return kIds[ImageSizeGroup(scale)];
}

UINT ShareImageId(float scale, bool vistaOrLater) {
  static const UINT kIds[] = {IDP_SHARE_16, IDP_SHARE_32, IDP_SHARE_48};
  return vistaOrLater ? kIds[ImageSizeGroup(scale)] : IDP_SHARE_XP;
}

UINT UploadImageId(float scale, bool vistaOrLater) {
  static const UINT kIds[] = {IDP_UPLOAD_16, IDP_UPLOAD_32, IDP_UPLOAD_48};
  return vistaOrLater ? kIds[ImageSizeGroup(scale)] : IDP_UPLOAD_XP;
}

HBITMAP LoadProductBitmap() { return LoadPngBitmap(ThisModule(), ProductImageId(DpiScale::Scale())); }

HBITMAP LoadShareBitmap() { return LoadPngBitmap(ThisModule(), ShareImageId(DpiScale::Scale(), IsVistaOrLater())); }

HBITMAP LoadUploadBitmap() { return LoadPngBitmap(ThisModule(), UploadImageId(DpiScale::Scale(), IsVistaOrLater())); }

HBITMAP LoadStatusBitmap() { return LoadPngBitmap(ThisModule(), IDP_STATUS); }

}  // namespace quillan
