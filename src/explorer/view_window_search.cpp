#include "explorer/view_window_search.h"

#include "base/text.h"

namespace quillan {

namespace {

constexpr wchar_t kDefView[] = L"SHELLDLL_DefView";
constexpr wchar_t kNotifySink[] = L"CtrlNotifySink";
constexpr wchar_t kDirectUi[] = L"DirectUIHWND";
constexpr wchar_t kListView[] = L"SysListView32";
constexpr wchar_t kDuiView[] = L"DUIViewWndClassName";

bool Exists(HWND window) { return window && ::IsWindow(window); }

// The items window of a folder view: its DirectUIHWND child, else its list view.
HWND ItemsOf(HWND view) {
  HWND items = ChildOfClass(view, kDirectUi);
  return items ? items : ChildOfClass(view, kListView);
}

bool Complete(HWND parent, HWND view, HWND items, ViewWindows* found) {
  if (!Exists(parent) || !Exists(view) || !Exists(items)) return false;
  *found = ViewWindows{parent, view, items};
  return true;
}

struct SinkSearch {
  bool xp;  // the sink holds the list view itself; else a folder view holding the items
  ViewWindows found;
  bool complete;
};

BOOL CALLBACK TrySink(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<SinkSearch*>(param);
  if (!HasClassName(window, kNotifySink)) return TRUE;
  if (search->xp) {
    HWND list = ChildOfClass(window, kListView);
    search->complete = Complete(window, list, list, &search->found);
  } else {
    HWND view = ChildOfClass(window, kDefView);
    search->complete = view && Complete(window, view, ItemsOf(view), &search->found);
  }
  return search->complete ? FALSE : TRUE;
}

// Every descendant of root in turn, until a pane with a complete triple.
bool SearchSinks(HWND root, bool xp, ViewWindows* found) {
  if (!Exists(root)) return false;
  SinkSearch search{xp, {}, false};
  ::EnumChildWindows(root, &TrySink, reinterpret_cast<LPARAM>(&search));
  if (search.complete) *found = search.found;
  return search.complete;
}

HWND FrameAbove(HWND window) {
  for (HWND w = ::GetParent(window); Exists(w); w = ::GetParent(w)) {
    if (HasClassName(w, L"CabinetWClass") || HasClassName(w, L"ExploreWClass")) return w;
  }
  return nullptr;
}

}  // namespace

bool HasClassName(HWND window, const wchar_t* className) {
  // Class names are at most 256 characters; a longer buffer tells a longer name from a prefix.
  wchar_t name[258] = {};
  int length = ::GetClassNameW(window, name, 258);
  return length > 0 && EqualsNoCaseAZ(std::wstring(name, static_cast<size_t>(length)), className);
}

HWND ChildOfClass(HWND parent, const wchar_t* className) {
  if (!Exists(parent)) return nullptr;
  for (HWND child = ::GetWindow(parent, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
    if (HasClassName(child, className) && ::IsWindow(child)) return child;
  }
  return nullptr;
}

bool FindViewWindowsFastFrom(HWND shellViewWindow, ViewWindows* found) {
  if (!Exists(shellViewWindow)) return false;
  HWND view = nullptr;
  for (HWND w = shellViewWindow; Exists(w); w = ::GetParent(w)) {
    if (HasClassName(w, kDefView)) {
      view = w;
      break;
    }
  }
  if (!view) view = ChildOfClass(shellViewWindow, kDefView);
  if (!view) return false;
  HWND sink = ::GetParent(view);
  if (!Exists(sink) || !HasClassName(sink, kNotifySink)) return false;
  return Complete(sink, view, ItemsOf(view), found);
}

bool FindViewWindowsFrom(HWND shellViewWindow, const ViewSearchSystem& system, ViewWindows* found) {
  if (!Exists(shellViewWindow)) return false;
  HWND frame = FrameAbove(shellViewWindow);
  if (!frame) return false;
  if (FindViewWindowsFastFrom(shellViewWindow, found)) return true;
  if (system.xpOr2003) {
    HWND view = ChildOfClass(frame, kDefView);
    if (!view) return false;
    if (HWND duiView = ChildOfClass(view, kDuiView)) return SearchSinks(ChildOfClass(duiView, kDirectUi), true, found);
    HWND list = ChildOfClass(view, kListView);
    return Complete(view, list, list, found);
  }
  if (system.vistaOrLater) {
    HWND tab = ChildOfClass(frame, L"ShellTabWindowClass");
    HWND duiView = ChildOfClass(tab, kDuiView);
    return SearchSinks(ChildOfClass(duiView, kDirectUi), false, found);
  }
  return false;
}

}  // namespace quillan
