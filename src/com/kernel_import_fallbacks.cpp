// Import slots that stand in for kernel32 functions Windows XP lacks but the statically linked thread
// library names (its timed waits call GetTickCount64). A direct import would keep the DLL from loading
// on XP; defining the slot here makes the linker bind to this function instead, which asks kernel32 at
// run time and falls back to the performance counter.
#include <windows.h>

#include "base/module.h"

namespace {

using TickCountFunction = ULONGLONG(WINAPI*)();

ULONGLONG WINAPI PerformanceCounterMilliseconds() {
  LARGE_INTEGER frequency;
  LARGE_INTEGER counter;
  if (!::QueryPerformanceFrequency(&frequency) || frequency.QuadPart <= 0 || !::QueryPerformanceCounter(&counter)) {
    return ::GetTickCount();  // no counter on this machine: the 32-bit count is all there is
  }
  ULONGLONG ticks = static_cast<ULONGLONG>(counter.QuadPart);
  ULONGLONG perSecond = static_cast<ULONGLONG>(frequency.QuadPart);
  return ticks / perSecond * 1000 + ticks % perSecond * 1000 / perSecond;
}

// Resolved on first use without a lock (the thread library's own locks may be what is waiting here);
// threads that race store the same answer.
void* volatile resolvedTickCount = nullptr;

ULONGLONG WINAPI TickCount64() {
  auto function = reinterpret_cast<TickCountFunction>(resolvedTickCount);
  if (!function) {
    function = quillan::ProcAddress<TickCountFunction>(::GetModuleHandleW(L"kernel32.dll"), "GetTickCount64");
    if (!function) function = &PerformanceCounterMilliseconds;
    resolvedTickCount = reinterpret_cast<void*>(function);
  }
  return function();
}

}  // namespace

#if defined(__i386__)
#define QUILLAN_IMPORT_SLOT(name, bytes) "__imp__" #name "@" #bytes
#else
#define QUILLAN_IMPORT_SLOT(name, bytes) "__imp_" #name
#endif

extern "C" {
ULONGLONG(WINAPI* quillanGetTickCount64Slot)() __asm__(QUILLAN_IMPORT_SLOT(GetTickCount64, 0)) = &TickCount64;
}
