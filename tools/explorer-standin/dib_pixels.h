// 32-bit top-down device-independent bitmaps whose pixels a program reads and writes directly, and
// such pixels saved as an image file. The Explorer stand-in's pictures, the desktop-application
// stand-in's painting into them, and the tests' canvases all use these.
#pragma once

#include <windows.h>

#include <string>

#include "base/handle.h"

namespace quillan::standin {

// A width x height bitmap, rows top to bottom, 4 bytes per pixel (0x00RRGGBB); *bits points at its
// pixels. Null (and *bits null) when it can't be made.
UniqueBitmap CreateTopDownBitmap(int width, int height, void** bits);

// Writes such pixels as an image file through GDI+'s encoder for `mimeType` ("image/png",
// "image/bmp"); false with a reason in *error (when given) otherwise.
bool SavePixels(const void* bits, int width, int height, const std::wstring& path, const wchar_t* mimeType,
                std::wstring* error = nullptr);

}  // namespace quillan::standin
