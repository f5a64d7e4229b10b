#include "com/close_explorer_with_cloud_bar.h"

#include <string>
#include <vector>

#include "base/text.h"

namespace quillan {

namespace {

// The host window's class and the close request's code; the records module will carry both.
const wchar_t kHostWindowClass[] = L"{DE16D8FE-F468-49A7-85B4-414CF06C72E5}";
const ULONG_PTR kCloseExplorerCode = 33774;
const UINT kSendTimeoutMs = 500;

BOOL CALLBACK CollectHostWindow(HWND window, LPARAM list) {
  wchar_t className[1024] = {};
  if (::GetClassNameW(window, className, 1024) == 0) return TRUE;  // gone already: not a host
  if (EqualsNoCaseAZ(className, kHostWindowClass)) {
    try {
      reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    } catch (...) {  // out of memory: the windows found so far are still asked
      return FALSE;
    }
  }
  return TRUE;
}

}  // namespace

int CloseExplorerWithCloudBar() noexcept {
  std::vector<HWND> hosts;
  // The result only says whether the callback stopped the walk early.
  ::EnumWindows(&CollectHostWindow, reinterpret_cast<LPARAM>(&hosts));
  for (HWND host : hosts) {
    if (!::IsWindow(host)) continue;
    COPYDATASTRUCT request = {};
    request.dwData = kCloseExplorerCode;
    request.cbData = 0;
    request.lpData = nullptr;
    DWORD_PTR answer = 0;
    // A host that does not answer in time is passed over: the next one is asked all the same.
    ::SendMessageTimeoutW(host, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&request), SMTO_NORMAL, kSendTimeoutMs,
                          &answer);
  }
  return 0;
}

}  // namespace quillan
