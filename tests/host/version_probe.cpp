// Run under a claimed Windows version by the version tests: reports the cached version answers and
// the width of the share image the loaders pick, in its exit code.
#include <windows.h>

#include "ui/images.h"
#include "ui/system_version.h"

int main() {
  DWORD code = (quillan::IsVistaOrLater() ? 1u : 0u) | (quillan::IsXpOr2003() ? 2u : 0u);
  // Asked twice: the second answer comes from the cache and must agree.
  if (quillan::IsVistaOrLater() != ((code & 1u) != 0) || quillan::IsXpOr2003() != ((code & 2u) != 0)) return 0xFF;
  HBITMAP share = quillan::LoadShareBitmap();
  BITMAP info = {};
  if (share && ::GetObjectW(share, sizeof(info), &info) == sizeof(info)) code |= static_cast<DWORD>(info.bmWidth) << 8;
  if (share) ::DeleteObject(share);
  return static_cast<int>(code);
}
