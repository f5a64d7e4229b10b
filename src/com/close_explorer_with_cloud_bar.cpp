#include "com/close_explorer_with_cloud_bar.h"

#include <vector>

#include "base/text.h"
#include "explorer/host_window_class.h"
#include "ipc/main_window.h"
#include "ipc/records.h"

namespace quillan {

namespace {

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
  const Record request = BuildEmptyRecord(to_host::kCloseExplorer);
  for (HWND host : hosts) {
    if (!::IsWindow(host)) continue;
    // A host that does not answer in time is passed over: the next one is asked all the same.
    SendRecord(host, request, SMTO_NORMAL, kSendTimeoutMs);
  }
  return 0;
}

}  // namespace quillan
