// How explorer-standin.exe gets the pixels of a window of another process inside its frame (the desktop
// application's window in the bar) for a picture. The frame's pixels come from the frame's own window
// surface, and under Wine a window of another process does not draw into it, so the picture asks that
// window to paint itself: a WM_COPYDATA with dwData kPaintIntoSectionCode and a PaintIntoSection
// payload. A window that knows the request paints its whole window rectangle, top-down, 32 bits per
// pixel (BGRX), into the named file mapping and answers 1; any other window answers 0 and keeps what
// the surface shows.
#pragma once

#include <windows.h>

#include <cstdint>

namespace quillan::standin {

constexpr ULONG_PTR kPaintIntoSectionCode = 0x51535057;  // "QSPW"

struct PaintIntoSection {
  uint32_t width;          // the window's width and height; the section holds width * height * 4 bytes
  uint32_t height;
  wchar_t section[64];     // name of the file mapping, zero-terminated
};

}  // namespace quillan::standin
