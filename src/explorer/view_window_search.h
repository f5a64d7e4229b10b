// The search of an Explorer window's tree for the three windows the cloud bar lives with. Explorer's
// window tree has two shapes:
//   version 6 and later   CabinetWClass > ShellTabWindowClass > DUIViewWndClassName > DirectUIHWND >
//                         ... CtrlNotifySink (the folder pane) > SHELLDLL_DefView > DirectUIHWND
//   versions 5.1 and 5.2  CabinetWClass | ExploreWClass > SHELLDLL_DefView > SysListView32, or with
//                         the task pane: ... > DUIViewWndClassName > DirectUIHWND > CtrlNotifySink >
//                         SysListView32
// Class names are compared without regard to the case of A-Z only, and every window found is checked
// with IsWindow.
#pragma once

#include <windows.h>

namespace quillan {

// The three windows of an Explorer window the bar lives with.
struct ViewWindows {
  HWND parent = nullptr;  // the pane holding the folder view; the bar is its child, across its top
  HWND view = nullptr;    // the folder view, pushed down by the bar's height
  HWND items = nullptr;   // the items window, whose input reveals selection changes
};

// Which window-tree shapes a search may try (the system's version decides).
struct ViewSearchSystem {
  bool xpOr2003 = false;      // version 5.1 or 5.2
  bool vistaOrLater = false;  // major version 6 or later
};

// True when the window's class name is className apart from the case of A-Z.
bool HasClassName(HWND window, const wchar_t* className);
// The first direct child of parent (in z-order) of that class that is a window; null when none.
HWND ChildOfClass(HWND parent, const wchar_t* className);

// The fast path, from the active shell view's window: the SHELLDLL_DefView at or above it (else
// its child of that class), whose parent must be a CtrlNotifySink, and that view's items window.
bool FindViewWindowsFastFrom(HWND shellViewWindow, ViewWindows* found);
// The full search: the Explorer frame above the shell view's window (none: fail at once), then the
// fast path, then the search of the frame's tree for the system's shape.
bool FindViewWindowsFrom(HWND shellViewWindow, const ViewSearchSystem& system, ViewWindows* found);

}  // namespace quillan
