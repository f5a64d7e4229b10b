// Pictures of windows as PNG files.
#pragma once

#include <windows.h>

#include <string>

namespace quillan::standin {

// Repaints the top-level window that holds `window`, then copies what the window shows (its whole
// window rectangle, frame included for a top-level window) into a PNG file. The pixels come from the
// top-level window's own surface, so a window of another process drawn into it may be missing.
bool SaveWindowPicture(HWND window, const std::wstring& path, SIZE* size, std::wstring* error);

}  // namespace quillan::standin
