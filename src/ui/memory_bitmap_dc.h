// A bitmap selected into a memory DC for painting; the previous object is selected back and the DC
// deleted when the holder goes.
#pragma once

#include <windows.h>

namespace quillan {

class MemoryBitmapDc {
 public:
  // The DC is compatible with reference (the screen when reference is null).
  MemoryBitmapDc(HBITMAP bitmap, HDC reference);
  ~MemoryBitmapDc();
  MemoryBitmapDc(const MemoryBitmapDc&) = delete;
  MemoryBitmapDc& operator=(const MemoryBitmapDc&) = delete;

  // False when the DC could not be made or the bitmap not selected (e.g. it is selected elsewhere).
  explicit operator bool() const { return dc_ != nullptr && previous_ != nullptr; }
  HDC dc() const { return dc_; }
  // From the bitmap's BITMAP record; 0 when it cannot be read.
  int width() const { return width_; }
  int height() const { return height_; }

 private:
  HDC dc_ = nullptr;
  int width_ = 0;
  int height_ = 0;
  HGDIOBJ previous_ = nullptr;
};

}  // namespace quillan
