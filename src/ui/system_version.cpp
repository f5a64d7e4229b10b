#include "ui/system_version.h"

#include <windows.h>

namespace quillan {

bool IsVistaOrLater() {
  static bool known = false;
  static bool answer = false;
  if (!known) {
    OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof(info);  // 276
                                              // A failed query leaves the major version 0: not Vista.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!::GetVersionExW(&info)) info.dwMajorVersion = 0;
#pragma GCC diagnostic pop
    answer = info.dwMajorVersion >= 6;
    known = true;
  }
  return answer;
}

bool IsXpOr2003() {
  static bool known = false;
  static bool answer = false;
  if (!known) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    WORD version = LOWORD(::GetVersion());
#pragma GCC diagnostic pop
    answer = version == 0x0105 || version == 0x0205;
    known = true;
  }
  return answer;
}

}  // namespace quillan
