#include "window_tree.h"

#include <algorithm>

#include "base/module.h"
#include "base/text.h"

namespace quillan::standin {

namespace {

const wchar_t* const kClassNames[] = {
    L"CabinetWClass", L"ExploreWClass",        L"WorkerW",        L"Address Band Root",
    L"ShellTabWindowClass", L"DUIViewWndClassName", L"DirectUIHWND", L"CtrlNotifySink",
    L"NamespaceTreeControl", L"SHELLDLL_DefView", L"SysListView32",
};

constexpr DWORD kChildStyle = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
constexpr int kItemsTopMargin = 4;

struct CreateContext {
  WindowTree* tree;
  Role role;
};

int Width(const RECT& r) { return r.right - r.left; }
int Height(const RECT& r) { return r.bottom - r.top; }

COLORREF BackgroundOf(Role role, Layout layout) {
  switch (role) {
    case Role::Frame:
    case Role::Tab:
      return ::GetSysColor(COLOR_BTNFACE);
    case Role::AddressBar:
      return RGB(222, 230, 242);
    case Role::NavPane:
    case Role::NavTree:
      return RGB(246, 249, 253);
    case Role::DuiHost:
    case Role::DuiView:
      return layout == Layout::XpDui ? RGB(122, 150, 223) : RGB(246, 249, 253);
    case Role::TaskPane:
      return RGB(214, 223, 247);
    default:
      return RGB(255, 255, 255);
  }
}

struct DescendantSearch {
  const std::wstring* className;
  bool visibleOnly;
  HWND found;
};

BOOL CALLBACK MatchDescendant(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<DescendantSearch*>(param);
  wchar_t name[256] = {};
  ::GetClassNameW(window, name, 256);
  if (!EqualsNoCaseAZ(name, *search->className) || (search->visibleOnly && !::IsWindowVisible(window))) return TRUE;
  search->found = window;
  return FALSE;
}

void FillSolid(HDC dc, const RECT& rect, COLORREF color) {
  COLORREF old = ::SetBkColor(dc, color);
  ::ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &rect, nullptr, 0, nullptr);
  ::SetBkColor(dc, old);
}

}  // namespace

const wchar_t* LayoutName(Layout layout) {
  switch (layout) {
    case Layout::Vista: return L"vista";
    case Layout::Xp: return L"xp";
    case Layout::XpDui: return L"xp-dui";
  }
  return L"?";
}

bool ParseLayout(const std::wstring& name, Layout* layout) {
  std::wstring lower = LowerAZ(name);
  if (lower == L"vista") *layout = Layout::Vista;
  else if (lower == L"xp") *layout = Layout::Xp;
  else if (lower == L"xp-dui") *layout = Layout::XpDui;
  else return false;
  return true;
}

HWND FindDescendant(HWND root, const std::wstring& className, bool visibleOnly) {
  DescendantSearch search{&className, visibleOnly, nullptr};
  if (root) ::EnumChildWindows(root, &MatchDescendant, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

Layout LayoutForVersion(DWORD version) {
  WORD low = LOWORD(version);
  return (low == 0x0105 || low == 0x0205) ? Layout::Xp : Layout::Vista;
}

bool WindowTree::RegisterClasses() {
  static const bool registered = [] {
    bool ok = true;
    for (const wchar_t* name : kClassNames) {
      WNDCLASSEXW wc = {};
      wc.cbSize = sizeof wc;
      wc.style = CS_DBLCLKS;
      wc.lpfnWndProc = &WindowTree::WindowProc;
      wc.hInstance = ThisModule();
      wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
      wc.lpszClassName = name;
      // A class this module already registered (a second tree in the same process) is fine.
      if (!::RegisterClassExW(&wc) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) ok = false;
    }
    return ok;
  }();
  return registered;
}

WindowTree::WindowTree(WindowTreeHost* host, const WindowTreeOptions& options) : host_(host), options_(options) {}

WindowTree::~WindowTree() { Destroy(); }

HWND WindowTree::Find(Role role) const {
  for (HWND window : order_) {
    auto it = roles_.find(window);
    if (it != roles_.end() && it->second == role) return window;
  }
  return nullptr;
}

HWND WindowTree::Pane() const { return options_.layout == Layout::Xp ? View() : Find(Role::Pane); }

HWND WindowTree::CreateRoleWindow(Role role, const wchar_t* className, HWND parent, const RECT& rect,
                                  DWORD extraStyle) {
  CreateContext context{this, role};
  DWORD style = parent ? (kChildStyle | extraStyle) : (WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | extraStyle);
  const wchar_t* title = role == Role::Frame ? options_.title.c_str() : L"";
  return ::CreateWindowExW(0, className, title, style, rect.left, rect.top, Width(rect), Height(rect), parent,
                           nullptr, ThisModule(), &context);
}

// Where a container puts a child of the given role.
static RECT ChildRect(const WindowTreeOptions& options, Role parentRole, Role childRole, const RECT& client) {
  int cw = Width(client);
  int ch = Height(client);
  if (parentRole == Role::Frame) {
    if (childRole == Role::AddressBar) return {0, 0, cw, std::min(ch, kAddressBarHeight)};
    return {0, std::min(ch, kAddressBarHeight), cw, ch};
  }
  if (parentRole == Role::DuiHost) {
    int side = options.layout == Layout::Vista ? std::max(0, options.navWidth) : kTaskPaneWidth;
    side = std::min(side, cw);
    if (childRole == Role::NavPane) return {0, 0, side, ch};
    if (childRole == Role::TaskPane) return {8, 8, std::max(8, side - 8), std::min(ch, 68)};
    return {side, 0, cw, ch};
  }
  return {0, 0, cw, ch};
}

void WindowTree::LayoutChildren(HWND window, Role role) {
  RECT client;
  if (!::GetClientRect(window, &client)) return;
  for (HWND child = ::GetWindow(window, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
    auto it = roles_.find(child);
    if (it == roles_.end()) continue;  // windows of others (the bar) are theirs to place
    RECT r = ChildRect(options_, role, it->second, client);
    // A failed move leaves the child where it was; the next resize tries again.
    ::SetWindowPos(child, nullptr, r.left, r.top, Width(r), Height(r), SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

bool WindowTree::CreateViewBranch(HWND parent, const RECT& rect) {
  const bool vista = options_.layout == Layout::Vista;
  HWND view = CreateRoleWindow(Role::View, L"SHELLDLL_DefView", parent, rect);
  if (!view) return false;
  RECT client = {0, 0, Width(rect), Height(rect)};
  if (options_.layout != Layout::XpDui) {
    return CreateRoleWindow(Role::Items, vista ? L"DirectUIHWND" : L"SysListView32", view, client, WS_TABSTOP) != nullptr;
  }
  HWND duiView = CreateRoleWindow(Role::DuiView, L"DUIViewWndClassName", view, client);
  HWND duiHost = duiView ? CreateRoleWindow(Role::DuiHost, L"DirectUIHWND", duiView, client) : nullptr;
  if (!duiHost) return false;
  if (!CreateRoleWindow(Role::TaskPane, L"CtrlNotifySink", duiHost,
                        ChildRect(options_, Role::DuiHost, Role::TaskPane, client))) {
    return false;
  }
  RECT paneRect = ChildRect(options_, Role::DuiHost, Role::Pane, client);
  HWND pane = CreateRoleWindow(Role::Pane, L"CtrlNotifySink", duiHost, paneRect);
  return pane && CreateRoleWindow(Role::Items, L"SysListView32", pane, {0, 0, Width(paneRect), Height(paneRect)},
                                  WS_TABSTOP);
}

bool WindowTree::Create(bool show) {
  if (Frame()) return true;
  if (!RegisterClasses()) return false;
  HWND frame = CreateRoleWindow(Role::Frame, options_.frameClass.c_str(), nullptr, options_.placement);
  if (!frame) return false;
  RECT client;
  ::GetClientRect(frame, &client);
  HWND address = CreateRoleWindow(Role::AddressBar, L"WorkerW", frame, ChildRect(options_, Role::Frame, Role::AddressBar, client));
  bool ok = address && CreateRoleWindow(Role::AddressText, L"Address Band Root", address, {4, 4, 4, 4});
  RECT content = ChildRect(options_, Role::Frame, Role::View, client);
  if (ok && options_.layout == Layout::Vista) {
    RECT inner = {0, 0, Width(content), Height(content)};
    HWND tab = CreateRoleWindow(Role::Tab, L"ShellTabWindowClass", frame, content);
    HWND duiView = tab ? CreateRoleWindow(Role::DuiView, L"DUIViewWndClassName", tab, inner) : nullptr;
    HWND duiHost = duiView ? CreateRoleWindow(Role::DuiHost, L"DirectUIHWND", duiView, inner) : nullptr;
    HWND nav = nullptr;
    if (duiHost && options_.navWidth > 0) {
      nav = CreateRoleWindow(Role::NavPane, L"CtrlNotifySink", duiHost, ChildRect(options_, Role::DuiHost, Role::NavPane, inner));
      if (nav) CreateRoleWindow(Role::NavTree, L"NamespaceTreeControl", nav, {0, 0, 1, 1});
    }
    RECT paneRect = ChildRect(options_, Role::DuiHost, Role::Pane, inner);
    HWND pane = duiHost ? CreateRoleWindow(Role::Pane, L"CtrlNotifySink", duiHost, paneRect) : nullptr;
    ok = pane && (options_.navWidth <= 0 || (nav && Find(Role::NavTree))) &&
         CreateViewBranch(pane, {0, 0, Width(paneRect), Height(paneRect)});
  } else if (ok) {
    ok = CreateViewBranch(frame, content);
  }
  if (!ok) {
    Destroy();
    return false;
  }
  // Children were created before their parents knew their final sizes: lay out from the top once.
  for (size_t i = 0; i < order_.size(); ++i) LayoutChildren(order_[i], roles_[order_[i]]);
  if (show) {
    ::ShowWindow(frame, SW_SHOW);
    ::UpdateWindow(frame);
    ::SetFocus(Items());
  }
  return true;
}

void WindowTree::Destroy() {
  HWND frame = Frame();
  if (frame && ::IsWindow(frame)) ::DestroyWindow(frame);
  roles_.clear();
  order_.clear();
}

bool WindowTree::ReplaceView() {
  HWND old = View();
  if (!old) return false;
  HWND parent = ::GetParent(old);
  auto parentRole = roles_.find(parent);
  if (parentRole == roles_.end()) return false;
  RECT client;
  ::GetClientRect(parent, &client);
  bool hadFocus = ::GetFocus() && (::GetFocus() == old || ::IsChild(old, ::GetFocus()));
  // Explorer builds the new view before it lets go of the old one.
  size_t firstNew = order_.size();
  if (!CreateViewBranch(parent, ChildRect(options_, parentRole->second, Role::View, client))) return false;
  ::DestroyWindow(old);
  if (hadFocus) {
    for (size_t i = firstNew; i < order_.size(); ++i) {
      if (roles_[order_[i]] == Role::Items) ::SetFocus(order_[i]);
    }
  }
  return true;
}

bool WindowTree::RebuildItems() {
  HWND old = Items();
  if (!old) return false;
  HWND parent = ::GetParent(old);
  bool hadFocus = ::GetFocus() == old;
  ::DestroyWindow(old);
  RECT client;
  ::GetClientRect(parent, &client);
  HWND items = CreateRoleWindow(Role::Items, options_.layout == Layout::Vista ? L"DirectUIHWND" : L"SysListView32",
                                parent, client, WS_TABSTOP);
  if (items && hadFocus) ::SetFocus(items);
  return items != nullptr;
}

void WindowTree::Invalidate() {
  for (HWND window : {Items(), Find(Role::AddressText)}) {
    if (window) ::InvalidateRect(window, nullptr, TRUE);
  }
}

void WindowTree::SetTitle(const std::wstring& title) {
  options_.title = title;
  if (HWND frame = Frame()) ::SetWindowTextW(frame, title.c_str());
}

POINT WindowTree::RowPoint(size_t row) const {
  return {24, kItemsTopMargin + static_cast<LONG>(row) * kItemRowHeight + kItemRowHeight / 2};
}

void WindowTree::Forget(HWND window) {
  roles_.erase(window);
  order_.erase(std::remove(order_.begin(), order_.end(), window), order_.end());
}

void WindowTree::Paint(HWND window, Role role, HDC dc) {
  RECT client;
  ::GetClientRect(window, &client);
  FillSolid(dc, client, BackgroundOf(role, options_.layout));
  HGDIOBJ oldFont = ::SelectObject(dc, ::GetStockObject(DEFAULT_GUI_FONT));
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, RGB(0, 0, 0));
  if (role == Role::AddressText) {
    ::FrameRect(dc, &client, static_cast<HBRUSH>(::GetStockObject(GRAY_BRUSH)));
    RECT text = {client.left + 6, client.top, client.right - 6, client.bottom};
    std::wstring address = host_->AddressText();
    ::DrawTextW(dc, address.c_str(), static_cast<int>(address.size()), &text,
                DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_PATH_ELLIPSIS);
  } else if (role == Role::NavTree) {
    const wchar_t* const rows[] = {L"Desktop", L"Libraries", L"Computer", L"Network"};
    for (int i = 0; i < 4; ++i) {
      RECT row = {client.left + 12, kItemsTopMargin + i * kItemRowHeight, client.right, kItemsTopMargin + (i + 1) * kItemRowHeight};
      ::DrawTextW(dc, rows[i], -1, &row, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    }
  } else if (role == Role::Items) {
    std::vector<std::wstring> names = host_->ItemNames();
    for (size_t i = 0; i < names.size(); ++i) {
      RECT row = {client.left, kItemsTopMargin + static_cast<LONG>(i) * kItemRowHeight, client.right,
                  kItemsTopMargin + static_cast<LONG>(i + 1) * kItemRowHeight};
      if (row.top >= client.bottom) break;
      if (host_->IsItemSelected(i)) FillSolid(dc, row, RGB(204, 232, 255));
      row.left += 24;
      ::DrawTextW(dc, names[i].c_str(), static_cast<int>(names[i].size()), &row,
                  DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
    }
  }
  ::SelectObject(dc, oldFont);
}

LRESULT CALLBACK WindowTree::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* context = static_cast<CreateContext*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(context->tree));
    context->tree->roles_[window] = context->role;
    context->tree->order_.push_back(window);
  }
  auto* tree = reinterpret_cast<WindowTree*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!tree) return ::DefWindowProcW(window, message, wParam, lParam);
  auto it = tree->roles_.find(window);
  if (it == tree->roles_.end()) return ::DefWindowProcW(window, message, wParam, lParam);
  return tree->OnMessage(window, it->second, message, wParam, lParam);
}

LRESULT WindowTree::OnMessage(HWND window, Role role, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SIZE:
      LayoutChildren(window, role);
      return 0;
    case WM_ERASEBKGND:
      return 1;  // WM_PAINT fills everything
    case WM_PAINT: {
      PAINTSTRUCT ps;
      if (HDC dc = ::BeginPaint(window, &ps)) {
        Paint(window, role, dc);
        ::EndPaint(window, &ps);
      }
      return 0;
    }
    case WM_PRINTCLIENT:
      Paint(window, role, reinterpret_cast<HDC>(wParam));
      return 0;
    case WM_NCDESTROY: {
      bool frame = role == Role::Frame;
      Forget(window);
      ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      LRESULT result = ::DefWindowProcW(window, message, wParam, lParam);
      if (frame) host_->OnFrameDestroyed();
      return result;
    }
    default:
      break;
  }
  if (role == Role::Frame) {
    switch (message) {
      case WM_CLOSE:
        host_->OnCloseRequested();
        return 0;
      case WM_SYSCOMMAND:
        host_->OnSysCommand(wParam);
        break;
      case WM_SETFOCUS:
        if (HWND items = Items()) ::SetFocus(items);
        return 0;
      default:
        break;
    }
  } else if (role == Role::Items) {
    // Explorer's item views capture the mouse while a button is down; the capture change that
    // follows the release is what the list-view layout's watchers see.
    switch (message) {
      case WM_LBUTTONDOWN:
      case WM_RBUTTONDOWN:
        ::SetFocus(window);
        ::SetCapture(window);
        return 0;
      case WM_LBUTTONUP:
      case WM_RBUTTONUP:
        if (::GetCapture() == window) ::ReleaseCapture();
        return 0;
      case WM_MOUSEACTIVATE:
        return MA_ACTIVATE;
      default:
        break;
    }
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace quillan::standin
