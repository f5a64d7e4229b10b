#include "explorer/bar_placement.h"

#include <algorithm>
#include <climits>

#include "base/com_ptr.h"
#include "base/subclass.h"
#include "ui/system_version.h"

namespace quillan {

namespace {

constexpr UINT kBarPlaceFlags = SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW;  // 0x54
constexpr UINT kViewPlaceFlags = SWP_NOZORDER | SWP_NOACTIVATE;                  // 0x14

bool Exists(HWND window) { return window && ::IsWindow(window); }

int ClampToInt(long long value) {
  return static_cast<int>(std::max<long long>(INT_MIN, std::min<long long>(INT_MAX, value)));
}

// A window's rectangle in its parent's client coordinates.
RECT RectInParent(HWND window, HWND parent) {
  RECT rect = {};
  if (!::GetWindowRect(window, &rect)) return rect;
  ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

// Both subclasses run only where the system's window tree is one of the two the search knows.
bool WatchesThisSystem() { return IsXpOr2003() || IsVistaOrLater(); }

// The window of the active shell view; null when there is none.
HWND ActiveViewWindow(IShellBrowser* browser) {
  if (!browser) return nullptr;
  ComPtr<IShellView> view;
  HWND window = nullptr;
  if (FAILED(browser->QueryActiveShellView(view.Put())) || !view || FAILED(view->GetWindow(&window))) return nullptr;
  return window;
}

bool IsSelectionInput(UINT message, WPARAM wParam) {
  return message == WM_KEYUP || message == WM_LBUTTONDOWN || message == WM_LBUTTONUP || message == WM_RBUTTONDOWN ||
         message == WM_RBUTTONUP || (message == WM_MOUSEMOVE && wParam == MK_LBUTTON);
}

}  // namespace

bool BarPlacement::FindFast(IShellBrowser* browser, ViewWindows* found) {
  HWND window = ActiveViewWindow(browser);
  return window && FindViewWindowsFastFrom(window, found);
}

bool BarPlacement::FindFull(IShellBrowser* browser, ViewWindows* found) {
  HWND window = ActiveViewWindow(browser);
  if (!window) return false;
  ViewSearchSystem system;
  system.xpOr2003 = IsXpOr2003();
  system.vistaOrLater = IsVistaOrLater();
  return FindViewWindowsFrom(window, system, found);
}

void BarPlacement::Clear() {
  windows_ = ViewWindows{};
  lastPaneRect_ = RECT{};
}

bool BarPlacement::WindowsExist() const {
  return Exists(windows_.items) && Exists(windows_.view) && Exists(windows_.parent);
}

bool BarPlacement::ShowBar(HWND bar, bool force) {
  const HWND pane = windows_.parent;
  RECT rc = {};
  if (!::GetClientRect(pane, &rc)) return false;
  if (!force && ::EqualRect(&rc, &lastPaneRect_)) return true;
  lastPaneRect_ = rc;
  ::SetWindowPos(bar, HWND_TOP, rc.left, rc.top, rc.right - rc.left, height_, kBarPlaceFlags);
  const RECT r = RectInParent(windows_.view, pane);
  const int top = ClampToInt(static_cast<long long>(rc.top) + height_);
  ::SetWindowPos(windows_.view, HWND_TOP, r.left, top, r.right - r.left,
                 std::max(0, ClampToInt(static_cast<long long>(rc.bottom) - top)), kViewPlaceFlags);
  return true;
}

bool BarPlacement::HideBar(HWND bar) {
  const HWND pane = windows_.parent;
  RECT rc = {};
  if (!::GetClientRect(pane, &rc)) return false;
  lastPaneRect_ = RECT{};
  // Hiding the bar does not wait on the windows inside it, whoever's they are.
  ::ShowWindow(bar, SW_HIDE);
  const RECT r = RectInParent(windows_.view, pane);
  ::SetWindowPos(windows_.view, HWND_TOP, r.left, rc.top, r.right - r.left, rc.bottom - rc.top, kViewPlaceFlags);
  return true;
}

void BarPlacement::StartWatch() {
  if (!WatchesThisSystem()) return;
  const auto id = reinterpret_cast<UINT_PTR>(this);
  const auto self = reinterpret_cast<DWORD_PTR>(this);
  // Installing again on the same window only renews the reference data.
  if (Exists(windows_.view) && SetSubclass(windows_.view, &ViewProc, id, self)) viewSubclassed_ = true;
  if (Exists(windows_.items) && SetSubclass(windows_.items, &ItemsProc, id, self)) itemsSubclassed_ = true;
}

void BarPlacement::StopWatch() {
  if (!WatchesThisSystem()) return;
  const auto id = reinterpret_cast<UINT_PTR>(this);
  // A window that is gone took its subclass with it.
  if (viewSubclassed_ && Exists(windows_.view)) RemoveSubclass(windows_.view, &ViewProc, id);
  if (itemsSubclassed_ && Exists(windows_.items)) RemoveSubclass(windows_.items, &ItemsProc, id);
  viewSubclassed_ = false;
  itemsSubclassed_ = false;
}

LRESULT CALLBACK BarPlacement::ViewProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                        DWORD_PTR refData) {
  auto* placement = reinterpret_cast<BarPlacement*>(refData);
  if (message == WM_NCDESTROY) {
    RemoveSubclass(window, &ViewProc, id);
    if (window == placement->windows_.view) placement->viewSubclassed_ = false;
    return DefSubclass(window, message, wParam, lParam);
  }
  return placement->OnViewMessage(window, message, wParam, lParam);
}

LRESULT CALLBACK BarPlacement::ItemsProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                         DWORD_PTR refData) {
  auto* placement = reinterpret_cast<BarPlacement*>(refData);
  if (message == WM_NCDESTROY) {
    RemoveSubclass(window, &ItemsProc, id);
    if (window == placement->windows_.items) placement->itemsSubclassed_ = false;
    return DefSubclass(window, message, wParam, lParam);
  }
  return placement->OnItemsMessage(window, message, wParam, lParam);
}

LRESULT BarPlacement::OnViewMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_WINDOWPOSCHANGING && lParam) {
    const HWND bar = owner_.BarWindow();
    // Only under a bar that shows: a hidden bar has handed the view its full height back.
    const bool barShows = Exists(bar) && (::GetWindowLongPtrW(bar, GWL_STYLE) & WS_VISIBLE);
    RECT rc = {};
    if (Exists(windows_.parent) && barShows && ::GetClientRect(windows_.parent, &rc)) {
      auto* pos = reinterpret_cast<WINDOWPOS*>(lParam);
      pos->x = 0;
      pos->y = height_;
      pos->cx = rc.right - rc.left;
      pos->cy = std::max(0, ClampToInt(static_cast<long long>(rc.bottom) - height_ - rc.top));
      return 0;
    }
  }
  return DefSubclass(window, message, wParam, lParam);
}

LRESULT BarPlacement::OnItemsMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (IsVistaOrLater()) {
    RECT client = {};
    if (message == WM_WINDOWPOSCHANGING && lParam && Exists(windows_.view) && ::GetClientRect(windows_.view, &client)) {
      auto* pos = reinterpret_cast<WINDOWPOS*>(lParam);
      pos->x = 0;
      pos->y = 0;
      pos->cx = client.right;
      pos->cy = client.bottom;
      return 0;
    }
    if (IsSelectionInput(message, wParam)) owner_.OnItemsInput();
  } else if (IsXpOr2003()) {
    if (message == WM_KEYUP || message == WM_CAPTURECHANGED) owner_.OnItemsInput();
  }
  return DefSubclass(window, message, wParam, lParam);
}

}  // namespace quillan
