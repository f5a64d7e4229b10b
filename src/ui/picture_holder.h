// One picture loaded from a file through OLE (IPicture), drawn upright into any box.
#pragma once

#include <ocidl.h>
#include <olectl.h>
#include <windows.h>

#include <string>

#include "base/com_ptr.h"

namespace quillan {

class PictureHolder {
 public:
  // Files above this size are not read: the UI thread must not stall on a huge "avatar".
  static constexpr long kMaxFileBytes = 32L * 1024 * 1024;

  // Drops the previous picture and loads path. False, with no picture, when the file is missing,
  // unreadable, empty, too large or no picture the platform can read.
  bool Load(const std::wstring& path);
  void Release();

  bool loaded() const { return loaded_; }
  // Natural size in HIMETRIC units (hundredths of a millimetre).
  long width() const { return width_; }
  long height() const { return height_; }

  // Stretches the whole picture over box.
  void Render(HDC dc, const RECT& box) const;

 private:
  bool loaded_ = false;
  ComPtr<IPicture> picture_;
  OLE_XSIZE_HIMETRIC width_ = 0;
  OLE_YSIZE_HIMETRIC height_ = 0;
};

}  // namespace quillan
