// Pictures of windows as PNG files.
#pragma once

#include <windows.h>

#include <string>

namespace quillan::standin {

// Repaints the top-level window that holds `window`, then copies what the window shows (its whole
// window rectangle, frame included for a top-level window) into a PNG file. The pixels come from the
// top-level window's own surface, where a window of another process inside it does not draw; each
// such window that is shown is asked to paint itself (foreign_paint_protocol.h). foreign: how many
// windows of other processes are shown inside, painted: how many of them painted themselves.
bool SaveWindowPicture(HWND window, const std::wstring& path, SIZE* size, std::wstring* error, int* foreign = nullptr,
                       int* painted = nullptr);

}  // namespace quillan::standin
