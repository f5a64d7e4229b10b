#include "ui/memory_bitmap_dc.h"

namespace quillan {

MemoryBitmapDc::MemoryBitmapDc(HBITMAP bitmap, HDC reference) {
  BITMAP info = {};
  if (bitmap && ::GetObjectW(bitmap, sizeof(info), &info) == sizeof(info)) {
    width_ = info.bmWidth;
    height_ = info.bmHeight;
  }
  dc_ = ::CreateCompatibleDC(reference);
  if (dc_ && bitmap) previous_ = ::SelectObject(dc_, bitmap);
}

MemoryBitmapDc::~MemoryBitmapDc() {
  if (!dc_) return;
  if (previous_) ::SelectObject(dc_, previous_);
  ::DeleteDC(dc_);
}

}  // namespace quillan
