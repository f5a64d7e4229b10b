#include "ui/picture_holder.h"

#include <cstdio>

#include "base/handle.h"

namespace quillan {
namespace {

// The whole file in a movable global block, or null.
HGLOBAL ReadWholeFile(const std::wstring& path, long* size) {
  FILE* raw = _wfopen(path.c_str(), L"rb");
  if (!raw) return nullptr;
  struct Closer {
    FILE* file;
    ~Closer() { std::fclose(file); }
  } closer{raw};
  if (std::fseek(raw, 0, SEEK_END) != 0) return nullptr;
  *size = std::ftell(raw);
  if (*size <= 0 || *size > PictureHolder::kMaxFileBytes) return nullptr;
  if (std::fseek(raw, 0, SEEK_SET) != 0) return nullptr;
  UniqueGlobal block(::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, static_cast<SIZE_T>(*size)));
  if (!block) return nullptr;
  void* bytes = ::GlobalLock(block.get());
  if (!bytes) return nullptr;
  size_t read = std::fread(bytes, 1, static_cast<size_t>(*size), raw);
  ::GlobalUnlock(block.get());
  if (read != static_cast<size_t>(*size)) return nullptr;
  return block.release();
}

}  // namespace

bool PictureHolder::Load(const std::wstring& path) {
  Release();
  long size = 0;
  UniqueGlobal block(ReadWholeFile(path, &size));
  if (!block) return false;
  ComPtr<IStream> stream;
  // The stream frees the block when it is released.
  if (FAILED(::CreateStreamOnHGlobal(block.get(), TRUE, stream.Put()))) return false;
  block.release();
  ComPtr<IPicture> picture;
  if (FAILED(::OleLoadPicture(stream.Get(), size, TRUE, IID_IPicture, picture.PutVoid())) || !picture) {
    return false;
  }
  if (FAILED(picture->get_Width(&width_)) || FAILED(picture->get_Height(&height_))) {
    width_ = height_ = 0;
    return false;
  }
  picture_ = std::move(picture);
  loaded_ = true;
  return true;
}

void PictureHolder::Release() {
  picture_.Reset();
  width_ = height_ = 0;
  loaded_ = false;
}

void PictureHolder::Render(HDC dc, const RECT& box) const {
  if (!loaded_ || !picture_) return;
  // The source is given bottom-up in HIMETRIC, which draws the picture upright. A failure leaves
  // the box as it was.
  picture_->Render(dc, box.left, box.top, box.right - box.left, box.bottom - box.top, 0, height_, width_, -height_,
                   nullptr);
}

}  // namespace quillan
