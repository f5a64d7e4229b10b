// The process-wide display scale: every size the bar and the menu draw with is designed for 96 DPI
// and multiplied by this factor ("times the scale" is always the float product truncated toward 0).
// Written and read on UI threads without a lock: every writer stores the same value for a display.
#pragma once

#include <windows.h>

namespace quillan {

class DpiScale {
 public:
  // Reads the DPI of the monitor at (10, 10) (GetDpiForMonitor where the system has it, else the
  // screen DC) and maps it to a scale. False, with the scale unchanged, for a DPI off the table.
  static bool Init();
  // The table step of Init for a given horizontal DPI: 96, 120, 144, 168, 192, 216, 240, 288 or
  // 336 give 1.0 to 3.5; any other value keeps the scale and gives false. On success the screen
  // size is stored.
  static bool InitFromDpi(int dpi);

  static float Scale();
  // trunc(size * scale) in single precision.
  static int Scaled(int size);
  // SetWindowPos with x, y, cx and cy times the scale; false (nothing moved) when the scale is 0.
  static bool ScaledPlace(HWND window, HWND insertAfter, int x, int y, int cx, int cy, UINT flags);

  // SM_CXSCREEN and SM_CYSCREEN at the last successful initialisation (0 before).
  static int ScreenWidth();
  static int ScreenHeight();

 private:
  static float scale_;
  static int screenWidth_;
  static int screenHeight_;
};

}  // namespace quillan
