#include "ui/dpi_scale.h"

#include <cmath>

#include "base/handle.h"
#include "base/module.h"

namespace quillan {
namespace {

// GetDpiForMonitor of SHCore.dll (Windows 8.1 and later); MDT_EFFECTIVE_DPI is 0.
using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);

bool MonitorDpi(UINT* dpiX, UINT* dpiY) {
  HMONITOR monitor = ::MonitorFromPoint(POINT{10, 10}, MONITOR_DEFAULTTONULL);
  UniqueModule shcore(::LoadLibraryW(L"SHCore.dll"));
  if (!shcore) return false;
  auto getDpi = ProcAddress<GetDpiForMonitorFn>(shcore.get(), "GetDpiForMonitor");
  if (!getDpi) return false;
  return SUCCEEDED(getDpi(monitor, 0, dpiX, dpiY));
}

bool ScreenDcDpi(UINT* dpiX, UINT* dpiY) {
  HWND desktop = ::GetDesktopWindow();
  WindowDc dc(desktop);
  if (!dc) return false;
  *dpiX = static_cast<UINT>(::GetDeviceCaps(dc.get(), LOGPIXELSX));
  *dpiY = static_cast<UINT>(::GetDeviceCaps(dc.get(), LOGPIXELSY));
  return true;
}

}  // namespace

float DpiScale::scale_ = 1.0f;
int DpiScale::screenWidth_ = 0;
int DpiScale::screenHeight_ = 0;

bool DpiScale::Init() {
  UINT dpiX = 0;
  UINT dpiY = 0;
  if (!MonitorDpi(&dpiX, &dpiY) && !ScreenDcDpi(&dpiX, &dpiY)) return false;
  // Only the horizontal DPI decides.
  return InitFromDpi(static_cast<int>(dpiX));
}

bool DpiScale::InitFromDpi(int dpi) {
  static const struct {
    int dpi;
    float scale;
  } kTable[] = {{96, 1.0f},   {120, 1.25f}, {144, 1.5f}, {168, 1.75f}, {192, 2.0f},
                {216, 2.25f}, {240, 2.5f},  {288, 3.0f}, {336, 3.5f}};
  if (dpi < 96 || dpi > 336) return false;
  for (const auto& entry : kTable) {
    if (entry.dpi == dpi) {
      scale_ = entry.scale;
      screenWidth_ = ::GetSystemMetrics(SM_CXSCREEN);
      screenHeight_ = ::GetSystemMetrics(SM_CYSCREEN);
      return true;
    }
  }
  return false;
}

float DpiScale::Scale() { return scale_; }

int DpiScale::Scaled(int size) { return static_cast<int>(static_cast<float>(size) * scale_); }

bool DpiScale::ScaledPlace(HWND window, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
  if (std::fabs(scale_) < 0.000001f) return false;
  return ::SetWindowPos(window, insertAfter, Scaled(x), Scaled(y), Scaled(cx), Scaled(cy), flags) != FALSE;
}

int DpiScale::ScreenWidth() { return screenWidth_; }
int DpiScale::ScreenHeight() { return screenHeight_; }

}  // namespace quillan
