// The windows of one stand-in Explorer window, with Explorer's class names and nesting:
//
//   newer layout (version 6 and later)       list-view layout (5.1/5.2)     its DirectUI variant
//   CabinetWClass                            CabinetWClass | ExploreWClass  CabinetWClass | ExploreWClass
//     WorkerW > Address Band Root              WorkerW > Address Band Root    WorkerW > Address Band Root
//     ShellTabWindowClass                      SHELLDLL_DefView (view)        SHELLDLL_DefView
//       DUIViewWndClassName                      SysListView32 (items)          DUIViewWndClassName
//         DirectUIHWND                                                            DirectUIHWND
//           CtrlNotifySink (navigation pane)                                        CtrlNotifySink (task pane)
//             NamespaceTreeControl                                                  CtrlNotifySink (pane)
//           CtrlNotifySink (pane)                                                     SysListView32 (items)
//             SHELLDLL_DefView (view)
//               DirectUIHWND (items)
//
// Containers lay out their own children only when their own size changes, as Explorer's panes do: a
// window that someone else moves inside a pane stays where it was put until the frame is resized.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace quillan::standin {

enum class Layout { Vista, Xp, XpDui };

const wchar_t* LayoutName(Layout layout);
bool ParseLayout(const std::wstring& name, Layout* layout);
// The layout Explorer has on the system a GetVersion() value describes: 5.1 and 5.2 give the
// list-view layout, everything else the newer one.
Layout LayoutForVersion(DWORD version);

// The first descendant of root, in EnumChildWindows order, whose class name equals className apart
// from the case of A-Z; with visibleOnly, hidden windows do not count.
HWND FindDescendant(HWND root, const std::wstring& className, bool visibleOnly);

enum class Role {
  Frame, AddressBar, AddressText, Tab, DuiView, DuiHost, NavPane, NavTree, TaskPane, Pane, View, Items,
};

// Fixed sizes of the fake chrome, in pixels.
constexpr int kAddressBarHeight = 30;
constexpr int kDefaultNavWidth = 160;
constexpr int kTaskPaneWidth = 180;
constexpr int kItemRowHeight = 20;

struct WindowTreeOptions {
  Layout layout = Layout::Vista;
  std::wstring frameClass = L"CabinetWClass";  // or ExploreWClass
  int navWidth = kDefaultNavWidth;             // navigation pane of the newer layout; 0 leaves it out
  RECT placement = {0, 0, 800, 600};           // outer rectangle of the frame on the screen
  std::wstring title;
};

// What the windows ask of the object that owns them.
class WindowTreeHost {
 public:
  virtual void OnCloseRequested() = 0;                 // WM_CLOSE on the frame
  virtual void OnFrameDestroyed() = 0;                 // WM_NCDESTROY of the frame
  virtual void OnSysCommand(WPARAM command) = 0;        // every WM_SYSCOMMAND of the frame
  virtual std::wstring AddressText() const = 0;        // what the address bar shows
  virtual std::vector<std::wstring> ItemNames() const = 0;  // rows of the items window
  virtual bool IsItemSelected(size_t row) const = 0;

 protected:
  ~WindowTreeHost() = default;
};

class WindowTree {
 public:
  WindowTree(WindowTreeHost* host, const WindowTreeOptions& options);
  ~WindowTree();
  WindowTree(const WindowTree&) = delete;
  WindowTree& operator=(const WindowTree&) = delete;

  // Registers the window classes of this module (once per process; safe from any thread).
  static bool RegisterClasses();

  // Creates every window; the frame is shown without activation when show is set.
  bool Create(bool show);
  // Destroys the frame and everything in it.
  void Destroy();

  const WindowTreeOptions& options() const { return options_; }
  HWND Frame() const { return Find(Role::Frame); }
  // The window the folder view's pane is: the CtrlNotifySink holding the view, or on the plain
  // list-view layout the view itself.
  HWND Pane() const;
  HWND View() const { return Find(Role::View); }    // SHELLDLL_DefView
  HWND Items() const { return Find(Role::Items); }  // DirectUIHWND or SysListView32 inside it
  HWND AddressBar() const { return Find(Role::AddressBar); }
  // Any window of the tree by its role (the first one created when there are several).
  HWND Find(Role role) const;
  bool Owns(HWND window) const { return roles_.count(window) != 0; }

  // A new SHELLDLL_DefView (and everything below it) in place of the old one, as on a navigation.
  bool ReplaceView();
  // Destroys the items window and creates a new one, as Explorer does when the view mode changes.
  bool RebuildItems();
  // Repaints the items and the address bar.
  void Invalidate();
  void SetTitle(const std::wstring& title);
  // Client-area point of a row of the items window.
  POINT RowPoint(size_t row) const;

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnMessage(HWND window, Role role, UINT message, WPARAM wParam, LPARAM lParam);
  HWND CreateRoleWindow(Role role, const wchar_t* className, HWND parent, const RECT& rect, DWORD extraStyle = 0);
  bool CreateViewBranch(HWND parent, const RECT& rect);
  void LayoutChildren(HWND window, Role role);
  void Paint(HWND window, Role role, HDC dc);
  void Forget(HWND window);

  WindowTreeHost* host_;
  WindowTreeOptions options_;
  std::map<HWND, Role> roles_;
  std::vector<HWND> order_;  // creation order, for Find
};

}  // namespace quillan::standin
