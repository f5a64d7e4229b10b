// SetWindowSubclass, RemoveWindowSubclass and DefSubclassProc, found in comctl32 at run time. Version
// 5.8 of comctl32 (Windows XP when no common-controls-6 context is active, as under regsvr32) exports
// them by ordinal only, so a DLL importing them by name would not load there.
#pragma once

#include <windows.h>

#include <commctrl.h>

namespace quillan {

// As the system functions; false when comctl32 offers none of them.
bool SetSubclass(HWND window, SUBCLASSPROC procedure, UINT_PTR id, DWORD_PTR refData) noexcept;
bool RemoveSubclass(HWND window, SUBCLASSPROC procedure, UINT_PTR id) noexcept;
// Only reached from a subclass procedure, so it exists whenever SetSubclass succeeded.
LRESULT DefSubclass(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept;

}  // namespace quillan
