#include "explorer_frame.h"

#include <exdisp.h>
#include <shlguid.h>
#include <shlwapi.h>

#include <algorithm>

#include "base/handle.h"
#include "base/text.h"
#include "standin_output.h"
#include "menu_picture.h"
#include "window_picture.h"

namespace quillan::standin {

namespace {

constexpr wchar_t kBrowserHelpersKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects";

const char* RoleName(Role role) {
  switch (role) {
    case Role::Frame: return "frame";
    case Role::AddressBar: return "address-bar";
    case Role::AddressText: return "address";
    case Role::Tab: return "tab";
    case Role::DuiView: return "dui-view";
    case Role::DuiHost: return "dui-host";
    case Role::NavPane: return "nav-pane";
    case Role::NavTree: return "nav-tree";
    case Role::TaskPane: return "task-pane";
    case Role::Pane: return "pane";
    case Role::View: return "view";
    case Role::Items: return "items";
  }
  return "?";
}

BOOL CALLBACK CollectWindow(HWND window, LPARAM param) {
  reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
  return TRUE;
}

bool IsAbsolute(const std::wstring& path) {
  return (path.size() >= 2 && path[1] == L':') || (path.size() >= 2 && path[0] == L'\\' && path[1] == L'\\');
}

std::wstring NormalizePath(const std::wstring& path) {
  std::wstring full(32768, L'\0');
  DWORD n = ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), &full[0], nullptr);
  full.resize(n > 0 && n < full.size() ? n : 0);
  if (full.empty()) full = path;
  // Explorer names a folder without a trailing backslash, except a drive root ("C:\").
  while (full.size() > 3 && full.back() == L'\\' && !(full.size() == 3 && full[1] == L':')) full.pop_back();
  return full;
}

struct MessageName {
  const wchar_t* name;
  UINT message;
};

const MessageName kMessages[] = {
    {L"WM_KEYDOWN", WM_KEYDOWN},         {L"WM_KEYUP", WM_KEYUP},           {L"WM_LBUTTONDOWN", WM_LBUTTONDOWN},
    {L"WM_LBUTTONUP", WM_LBUTTONUP},     {L"WM_RBUTTONDOWN", WM_RBUTTONDOWN}, {L"WM_RBUTTONUP", WM_RBUTTONUP},
    {L"WM_MOUSEMOVE", WM_MOUSEMOVE},     {L"WM_CAPTURECHANGED", WM_CAPTURECHANGED},
    {L"WM_LBUTTONDBLCLK", WM_LBUTTONDBLCLK}, {L"WM_CHAR", WM_CHAR},     {L"WM_SETFOCUS", WM_SETFOCUS},
    {L"WM_KILLFOCUS", WM_KILLFOCUS},
};

bool ParseMessage(const std::wstring& text, UINT* message) {
  for (const MessageName& known : kMessages) {
    if (EqualsNoCaseAZ(text, known.name)) {
      *message = known.message;
      return true;
    }
  }
  long long value = 0;
  if (!ParseNumber(text, &value) || value < 0 || value > 0xFFFF) return false;
  *message = static_cast<UINT>(value);
  return true;
}

void AppendPercent(std::wstring* out, unsigned char byte) {
  static const wchar_t kHex[] = L"0123456789ABCDEF";
  out->push_back(L'%');
  out->push_back(kHex[byte >> 4]);
  out->push_back(kHex[byte & 15]);
}

}  // namespace

bool ParseUrlStyle(const std::wstring& name, UrlStyle* style) {
  std::wstring lower = LowerAZ(name);
  if (lower == L"explorer") *style = UrlStyle::Explorer;
  else if (lower == L"utf8") *style = UrlStyle::Utf8;
  else if (lower == L"path") *style = UrlStyle::Path;
  else return false;
  return true;
}

std::wstring LocationUrlFor(const std::wstring& path, UrlStyle style) {
  if (path.empty() || style == UrlStyle::Path) return path;
  bool unc = path.size() > 2 && path[0] == L'\\' && path[1] == L'\\';
  std::wstring rest = unc ? path.substr(2) : path;
  std::wstring url = unc ? L"file://" : L"file:///";
  if (style == UrlStyle::Explorer) {
    // The characters a URL cannot carry as they are; everything else, non-ASCII included, stays.
    for (wchar_t c : rest) {
      if (c == L'\\') url.push_back(L'/');
      else if (c == L' ' || c == L'%' || c == L'#') AppendPercent(&url, static_cast<unsigned char>(c));
      else url.push_back(c);
    }
    return url;
  }
  std::string bytes = WideToUtf8(rest);
  for (char ch : bytes) {
    auto byte = static_cast<unsigned char>(ch);
    bool plain = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9') ||
                 byte == '-' || byte == '.' || byte == '_' || byte == '~' || byte == ':';
    if (byte == '\\') url.push_back(L'/');
    else if (plain) url.push_back(static_cast<wchar_t>(byte));
    else AppendPercent(&url, byte);
  }
  return url;
}

ExplorerFrame::ExplorerFrame(const FrameOptions& options)
    : options_(options), classes_(options.dllPath), tree_(this, options.window) {}

ExplorerFrame::~ExplorerFrame() {
  Quit();
  if (shellView_) shellView_->Disconnect();
  for (auto& view : oldViews_) view->Disconnect();
  if (shellBrowser_) shellBrowser_->Disconnect();
  if (webBrowser_) webBrowser_->Disconnect();
}

IUnknown* ExplorerFrame::Site() const { return static_cast<IWebBrowser2*>(webBrowser_.Get()); }

bool ExplorerFrame::Create() {
  webBrowser_.Attach(new StandinWebBrowser(this));
  shellBrowser_.Attach(new StandinShellBrowser(this));
  shellView_.Attach(new StandinShellView(this));
  int frameId = options_.id;
  webBrowser_->events().SetObserver([frameId](const char* what, DWORD cookie, HRESULT hr) {
    JsonLine(what).Add("frame", frameId).Add("cookie", cookie).Hex("hr", static_cast<unsigned long>(hr)).Emit();
  });
  if (!tree_.Create(options_.show)) {
    JsonLine("error").Add("frame", options_.id).Add("message", "cannot create the window tree").Emit();
    return false;
  }
  JsonLine("frame")
      .Add("frame", options_.id)
      .Add("hwnd", tree_.Frame())
      .Add("class", tree_.options().frameClass)
      .Add("layout", LayoutName(tree_.options().layout))
      .Add("pane", tree_.Pane())
      .Add("view", tree_.View())
      .Add("items", tree_.Items())
      .Add("thread", static_cast<unsigned long>(::GetCurrentThreadId()))
      .Emit();
  return true;
}

void ExplorerFrame::Start() {
  LoadBands();
  if (!options_.startPath.empty() && !closed_) NavigateTo(ResolvePath(options_.startPath), false, std::wstring());
}

void ExplorerFrame::LoadBands() {
  std::vector<CLSID> clsids;
  if (options_.band == BandLoad::Clsid) {
    clsids.push_back(options_.bandClsid);
  } else if (options_.band == BandLoad::Registry) {
    // Explorer loads every helper registered here, except those that ask not to run in Explorer.
    UniqueKey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kBrowserHelpersKey, 0, KEY_READ, key.put()) == ERROR_SUCCESS) {
      wchar_t name[64];
      for (DWORD i = 0;; ++i) {
        DWORD length = 64;
        if (::RegEnumKeyExW(key.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        CLSID clsid;
        if (FAILED(::CLSIDFromString(name, &clsid))) continue;
        UniqueKey helper;
        bool noExplorer = ::RegOpenKeyExW(key.get(), name, 0, KEY_READ, helper.put()) == ERROR_SUCCESS &&
                          ::RegQueryValueExW(helper.get(), L"NoExplorer", nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
        if (!noExplorer) clsids.push_back(clsid);
      }
    }
    JsonLine("band-registry").Add("frame", options_.id).Add("count", static_cast<int>(clsids.size())).Emit();
  }
  for (const CLSID& clsid : clsids) {
    LoadedBand loaded{clsid, {}};
    HRESULT create = classes_.Create(clsid, IID_IObjectWithSite, loaded.band.PutVoid());
    HRESULT setSite = E_FAIL;
    if (SUCCEEDED(create) && loaded.band) setSite = loaded.band->SetSite(Site());
    JsonLine("band")
        .Add("frame", options_.id)
        .Add("action", "load")
        .Add("index", static_cast<int>(bands_.size()))
        .Add("clsid", ClsidText(clsid))
        .Add("source", classes_.dllPath().empty() ? L"com" : classes_.dllPath())
        .Hex("create", static_cast<unsigned long>(create))
        .Hex("setsite", static_cast<unsigned long>(setSite))
        .Emit();
    if (SUCCEEDED(create) && loaded.band) bands_.push_back(std::move(loaded));
  }
}

void ExplorerFrame::Quit() {
  if (quitting_ || !webBrowser_) return;
  quitting_ = true;
  int sinks = webBrowser_->FireOnQuit();
  JsonLine line("quit");
  line.Add("frame", options_.id).Add("onquit-sinks", sinks);
  std::wstring setSite;
  std::wstring releases;
  for (LoadedBand& loaded : bands_) {
    HRESULT hr = loaded.band->SetSite(nullptr);
    setSite += (setSite.empty() ? L"" : L",") + AnsiToWide(HexText(static_cast<unsigned long>(hr)));
  }
  for (LoadedBand& loaded : bands_) {
    ULONG left = loaded.band.Detach()->Release();
    releases += (releases.empty() ? L"" : L",") + std::to_wstring(left);
  }
  bands_.clear();
  menu_.reset();
  // What the helpers still hold of this window's objects once they have let go of it.
  long leaked = (webBrowser_->refs() - 1) + (shellBrowser_->refs() - 1) + (shellView_ ? shellView_->refs() - 1 : 0);
  for (const auto& view : oldViews_) leaked += view->refs() - 1;
  line.Add("setsite-null", setSite).Add("band-release", releases);
  line.Add("sinks-left", static_cast<int>(webBrowser_->events().SinkCount())).Add("leaked-refs", leaked).Emit();
  webBrowser_->events().DropAll();
  tree_.Destroy();
}

void ExplorerFrame::OnFrameDestroyed() {
  if (closed_) return;
  closed_ = true;
  JsonLine("closed").Add("frame", options_.id).Emit();
  if (closedCallback_) closedCallback_();
}

void ExplorerFrame::OnSysCommand(WPARAM command) {
  JsonLine("syscommand").Add("frame", options_.id).Hex("command", static_cast<unsigned long>(command & 0xFFF0)).Emit();
}

std::wstring ExplorerFrame::ResolvePath(const std::wstring& nameOrPath) const {
  if (nameOrPath.empty()) return folder_;
  if (IsAbsolute(nameOrPath) || folder_.empty()) return NormalizePath(nameOrPath);
  std::wstring base = folder_;
  if (base.back() != L'\\') base.push_back(L'\\');
  return NormalizePath(base + nameOrPath);
}

void ExplorerFrame::ListFolder() {
  entries_.clear();
  if (folder_.empty()) return;
  std::wstring pattern = folder_ + (folder_.back() == L'\\' ? L"*" : L"\\*");
  WIN32_FIND_DATAW data;
  UniqueFind find(::FindFirstFileW(pattern.c_str(), &data));
  if (!find) return;
  std::vector<Entry> folders;
  std::vector<Entry> files;
  do {
    std::wstring name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    std::wstring path = folder_ + (folder_.back() == L'\\' ? L"" : L"\\") + name;
    ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? folders : files).push_back({name, path});
  } while (::FindNextFileW(find.get(), &data) && folders.size() + files.size() < 1000);
  auto byName = [](const Entry& a, const Entry& b) { return LowerAZ(a.name) < LowerAZ(b.name); };
  std::sort(folders.begin(), folders.end(), byName);
  std::sort(files.begin(), files.end(), byName);
  entries_ = std::move(folders);
  entries_.insert(entries_.end(), files.begin(), files.end());
}

void ExplorerFrame::NavigateTo(const std::wstring& path, bool newView, const std::wstring& urlOverride) {
  if (newView && tree_.ReplaceView()) {
    // Every folder gets a view object of its own; the old one answers E_FAIL from now on.
    if (shellView_) {
      shellView_->Disconnect();
      oldViews_.push_back(shellView_);
    }
    shellView_.Attach(new StandinShellView(this));
  }
  folder_ = path;
  locationUrl_ = urlOverride.empty() ? LocationUrlFor(path, options_.urlStyle) : urlOverride;
  selection_.clear();
  ListFolder();
  ++navigations_;
  tree_.SetTitle(LocationName());
  tree_.Invalidate();
  webBrowser_->FireCommandStateChange(CSC_NAVIGATEBACK, navigations_ > 1);
  webBrowser_->FireCommandStateChange(CSC_NAVIGATEFORWARD, false);
  int sinks = webBrowser_->FireNavigateComplete2(locationUrl_);
  webBrowser_->FireTitleChange(LocationName());
  webBrowser_->FireDocumentComplete(locationUrl_);
  JsonLine("navigate")
      .Add("frame", options_.id)
      .Add("path", folder_)
      .Add("url", locationUrl_)
      .Add("exists", ::PathIsDirectoryW(folder_.c_str()) != FALSE)
      .Add("pane", tree_.Pane())
      .Add("view", tree_.View())
      .Add("items", tree_.Items())
      .Add("sinks", sinks)
      .Emit();
}

void ExplorerFrame::SetSelection(std::vector<std::wstring> paths) {
  selection_ = std::move(paths);
  tree_.Invalidate();
}

std::wstring ExplorerFrame::LocationName() const {
  if (folder_.empty()) return std::wstring();
  size_t slash = folder_.find_last_of(L'\\');
  if (slash == std::wstring::npos || slash + 1 == folder_.size()) return folder_;
  return folder_.substr(slash + 1);
}

std::vector<std::wstring> ExplorerFrame::AllPaths() const {
  std::vector<std::wstring> paths;
  for (const Entry& entry : entries_) paths.push_back(entry.path);
  return paths;
}

std::vector<std::wstring> ExplorerFrame::ItemNames() const {
  std::vector<std::wstring> names;
  for (const Entry& entry : entries_) names.push_back(entry.name);
  return names;
}

bool ExplorerFrame::IsItemSelected(size_t row) const {
  return row < entries_.size() &&
         std::find(selection_.begin(), selection_.end(), entries_[row].path) != selection_.end();
}

HRESULT ExplorerFrame::QueryService(REFGUID service, REFIID iid, void** out) {
  HRESULT hr = E_NOINTERFACE;
  if (service == SID_SShellBrowser || service == SID_STopLevelBrowser) {
    hr = shellBrowser_->QueryInterface(iid, out);
  } else if (service == SID_SWebBrowserApp) {
    hr = webBrowser_->QueryInterface(iid, out);
  }
  TraceCall("site", "QueryService", hr, GuidName(service) + L" " + GuidName(iid));
  return hr;
}

HRESULT ExplorerFrame::ActiveShellView(IShellView** out) {
  if (!shellView_ || !tree_.View()) return E_FAIL;
  *out = shellView_.Get();
  (*out)->AddRef();
  return S_OK;
}

void ExplorerFrame::OnViewRefresh() {
  ListFolder();
  tree_.Invalidate();
  JsonLine("view-refresh").Add("frame", options_.id).Emit();
}

void ExplorerFrame::OnBrowserQuit() {
  if (HWND frame = tree_.Frame()) ::PostMessageW(frame, WM_CLOSE, 0, 0);
}

void ExplorerFrame::TraceCall(const char* object, const char* method, HRESULT result, const std::wstring& detail) {
  if (!options_.trace) return;
  JsonLine("call")
      .Add("frame", options_.id)
      .Add("object", object)
      .Add("method", method)
      .Hex("hr", static_cast<unsigned long>(result))
      .Add("detail", detail)
      .Emit();
}

bool ExplorerFrame::Fail(const Step& step, const std::wstring& message) {
  JsonLine("error").Add("frame", options_.id).Add("line", step.line).Add("step", step.Text()).Add("message", message).Emit();
  return false;
}

bool ExplorerFrame::Execute(const Step& step) {
  if (closed_) return Fail(step, L"the window is closed");
  const std::wstring& v = step.verb;
  if (v == L"navigate") return StepNavigate(step);
  if (v == L"select") return StepSelect(step);
  if (v == L"input") return StepInput(step);
  if (v == L"resize") return StepResize(step);
  if (v == L"rebuild") return StepRebuild(step);
  if (v == L"picture") return StepPicture(step);
  if (v == L"dump") return StepDump(step);
  if (v == L"menu") return StepMenu(step);
  if (v == L"menu-picture") return StepMenuPicture(step);
  if (v == L"invoke") return StepInvoke(step);
  if (v == L"fire") return StepFire(step);
  if (v == L"band") return StepBand(step);
  if (v == L"focus") return StepFocus(step);
  if (v == L"close") {
    // As the user closing the window: the request goes through the frame's own message handling.
    ::PostMessageW(tree_.Frame(), WM_SYSCOMMAND, SC_CLOSE, 0);
    JsonLine("close").Add("frame", options_.id).Emit();
    return true;
  }
  if (v == L"quit") {
    Quit();
    return true;
  }
  return Fail(step, L"not a step of a window");
}

bool ExplorerFrame::StepNavigate(const Step& step) {
  if (step.args.size() != 1) return Fail(step, L"navigate takes one folder");
  std::wstring view = step.Option(L"view", L"new");
  if (view != L"new" && view != L"keep") return Fail(step, L"--view is new or keep");
  UrlStyle style = options_.urlStyle;
  if (step.Has(L"url-style") && !ParseUrlStyle(step.Option(L"url-style"), &style)) return Fail(step, L"bad --url-style");
  UrlStyle saved = options_.urlStyle;
  options_.urlStyle = style;
  NavigateTo(ResolvePath(step.args[0]), view == L"new", step.Option(L"url"));
  options_.urlStyle = saved;
  return true;
}

void ExplorerFrame::SendInput(HWND target, UINT message, WPARAM wParam, LPARAM lParam) {
  if (target && ::IsWindow(target)) ::SendMessageW(target, message, wParam, lParam);
}

bool ExplorerFrame::StepSelect(const Step& step) {
  std::wstring by = step.Option(L"by", L"click");
  if (by != L"click" && by != L"rclick" && by != L"key" && by != L"drag" && by != L"none") {
    return Fail(step, L"--by is click, rclick, key, drag or none");
  }
  std::vector<std::wstring> paths;
  for (const auto& arg : step.args) paths.push_back(ResolvePath(arg));
  SetSelection(paths);
  HWND items = tree_.Items();
  // The input Explorer's item view gets while the user selects: one click per item (with Ctrl after
  // the first), or a key press, or a drag with the left button held.
  size_t clicks = std::max<size_t>(1, paths.size());
  for (size_t i = 0; i < clicks && by != L"none" && by != L"key"; ++i) {
    size_t row = 0;
    if (i < paths.size()) {
      for (size_t r = 0; r < entries_.size(); ++r) {
        if (entries_[r].path == paths[i]) row = r;
      }
    }
    POINT pt = tree_.RowPoint(row);
    LPARAM where = MAKELPARAM(pt.x, pt.y);
    WPARAM ctrl = i > 0 ? MK_CONTROL : 0;
    if (by == L"rclick") {
      SendInput(items, WM_RBUTTONDOWN, MK_RBUTTON | ctrl, where);
      SendInput(items, WM_RBUTTONUP, ctrl, where);
      continue;
    }
    SendInput(items, WM_LBUTTONDOWN, MK_LBUTTON | ctrl, where);
    if (by == L"drag") {
      SendInput(items, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(pt.x + 40, pt.y + 10));
      SendInput(items, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(pt.x + 80, pt.y + 30));
    }
    SendInput(items, WM_LBUTTONUP, ctrl, where);
  }
  if (by == L"key") {
    SendInput(items, WM_KEYDOWN, VK_DOWN, 0x00500001);
    SendInput(items, WM_KEYUP, VK_DOWN, static_cast<LPARAM>(0xC0500001u));
  }
  JsonLine("select")
      .Add("frame", options_.id)
      .Add("count", static_cast<int>(paths.size()))
      .Add("by", by)
      .Add("items", items)
      .Emit();
  return true;
}

HWND ExplorerFrame::StepTarget(const std::wstring& name) const {
  if (name == L"items") return tree_.Items();
  if (name == L"view") return tree_.View();
  if (name == L"pane") return tree_.Pane();
  if (name == L"frame") return tree_.Frame();
  return nullptr;
}

bool ExplorerFrame::StepInput(const Step& step) {
  if (step.args.empty() || step.args.size() > 3) return Fail(step, L"input takes a message and up to two numbers");
  UINT message = 0;
  long long wParam = 0;
  long long lParam = 0;
  if (!ParseMessage(step.args[0], &message)) return Fail(step, L"unknown message " + step.args[0]);
  if ((step.args.size() > 1 && !ParseNumber(step.args[1], &wParam)) || (step.args.size() > 2 && !ParseNumber(step.args[2], &lParam))) {
    return Fail(step, L"wParam and lParam are numbers");
  }
  HWND target = StepTarget(step.Option(L"to", L"items"));
  if (!target) return Fail(step, L"--to is items, view, pane or frame");
  LRESULT result = ::SendMessageW(target, message, static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam));
  JsonLine("input")
      .Add("frame", options_.id)
      .Hex("message", message)
      .Add("wparam", wParam)
      .Add("lparam", lParam)
      .Add("target", target)
      .Add("result", static_cast<long long>(result))
      .Emit();
  return true;
}

bool ExplorerFrame::StepResize(const Step& step) {
  long long width = 0;
  long long height = 0;
  if (step.args.size() != 2 || !ParseNumber(step.args[0], &width) || !ParseNumber(step.args[1], &height) ||
      width <= 0 || height <= 0 || width > 10000 || height > 10000) {
    return Fail(step, L"resize takes a width and a height in pixels");
  }
  if (!::SetWindowPos(tree_.Frame(), nullptr, 0, 0, static_cast<int>(width), static_cast<int>(height),
                      SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE)) {
    return Fail(step, L"SetWindowPos failed");
  }
  RECT client = {};
  ::GetClientRect(tree_.Frame(), &client);
  JsonLine("resize")
      .Add("frame", options_.id)
      .Add("width", width)
      .Add("height", height)
      .Add("client-width", client.right)
      .Add("client-height", client.bottom)
      .Emit();
  return true;
}

bool ExplorerFrame::StepRebuild(const Step& step) {
  HWND old = tree_.Items();
  if (!tree_.RebuildItems()) return Fail(step, L"cannot rebuild the items window");
  JsonLine("rebuild").Add("frame", options_.id).Add("old", old).Add("items", tree_.Items()).Emit();
  return true;
}

bool ExplorerFrame::StepPicture(const Step& step) {
  if (step.args.size() != 1) return Fail(step, L"picture takes a file name");
  HWND target = tree_.Frame();
  if (step.Has(L"window")) {
    target = StepTarget(step.Option(L"window"));
    if (!target) return Fail(step, L"--window is frame, pane, view or items");
  }
  if (step.Has(L"class")) {
    // The first window of that class in the frame (the bar, say).
    target = FindDescendant(tree_.Frame(), step.Option(L"class"), false);
    if (!target) return Fail(step, L"no window of class " + step.Option(L"class"));
  }
  SIZE size = {};
  std::wstring error;
  int foreign = 0;
  int painted = 0;
  if (!SaveWindowPicture(target, step.args[0], &size, &error, &foreign, &painted)) return Fail(step, L"picture: " + error);
  JsonLine("picture")
      .Add("frame", options_.id)
      .Add("file", step.args[0])
      .Add("target", target)
      .Add("width", size.cx)
      .Add("height", size.cy)
      .Add("foreign", foreign)
      .Add("painted", painted)
      .Emit();
  return true;
}

void ExplorerFrame::DumpWindow(HWND window, int depth, int parentIndex, const char* tree, int* index) {
  int mine = (*index)++;
  wchar_t className[256] = {};
  ::GetClassNameW(window, className, 256);
  wchar_t text[256] = {};
  ::GetWindowTextW(window, text, 256);
  RECT rect = {};
  ::GetWindowRect(window, &rect);
  RECT screen = rect;
  HWND parent = ::GetParent(window);
  if (parent && (::GetWindowLongPtrW(window, GWL_STYLE) & WS_CHILD)) {
    ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
  }
  RECT client = {};
  ::GetClientRect(window, &client);
  DWORD pid = 0;
  DWORD thread = ::GetWindowThreadProcessId(window, &pid);
  JsonLine line("window");
  line.Add("frame", options_.id).Add("tree", tree).Add("index", mine).Add("parent", parentIndex).Add("depth", depth);
  line.Add("hwnd", window).Add("class", className).Add("text", text);
  line.Add("x", rect.left).Add("y", rect.top).Add("width", rect.right - rect.left).Add("height", rect.bottom - rect.top);
  line.Add("screen-x", screen.left).Add("screen-y", screen.top);
  line.Add("client-width", client.right).Add("client-height", client.bottom);
  line.Add("visible", ::IsWindowVisible(window) != FALSE);
  line.Hex("style", static_cast<unsigned long>(::GetWindowLongPtrW(window, GWL_STYLE)));
  line.Hex("exstyle", static_cast<unsigned long>(::GetWindowLongPtrW(window, GWL_EXSTYLE)));
  line.Add("id", static_cast<long long>(::GetWindowLongPtrW(window, GWLP_ID)));
  line.Add("pid", static_cast<unsigned long>(pid)).Add("own-thread", thread == ::GetCurrentThreadId());
  if (tree_.Owns(window)) {
    for (Role role : {Role::Frame, Role::AddressBar, Role::AddressText, Role::Tab, Role::DuiView, Role::DuiHost,
                      Role::NavPane, Role::NavTree, Role::TaskPane, Role::Pane, Role::View, Role::Items}) {
      // The roles of the windows the tree keeps one of; the others are named by their class.
      if (tree_.Find(role) == window) line.Add("role", RoleName(role));
    }
  }
  if (window == tree_.Pane()) line.Add("pane", true);
  line.Emit();
  for (HWND child = ::GetWindow(window, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
    DumpWindow(child, depth + 1, mine, tree, index);
  }
}

bool ExplorerFrame::StepDump(const Step&) {
  int index = 0;
  DumpWindow(tree_.Frame(), 0, -1, "frame", &index);
  // The hidden windows a helper made on this thread (the host window, for one).
  std::vector<HWND> others;
  ::EnumThreadWindows(::GetCurrentThreadId(), &CollectWindow, reinterpret_cast<LPARAM>(&others));
  for (HWND window : others) {
    wchar_t className[16] = {};
    ::GetClassNameW(window, className, 16);
    // Every GUI thread has an input-method window; it is the system's, not a helper's.
    if (window == tree_.Frame() || tree_.Owns(window) || std::wstring(className) == L"IME") continue;
    DumpWindow(window, 0, -1, "thread", &index);
  }
  JsonLine("dump").Add("frame", options_.id).Add("windows", index).Emit();
  return true;
}

bool ExplorerFrame::StepMenu(const Step& step) {
  MenuRequest request;
  long long first = 0, last = 0, index = 0, flags = 0, prefill = 0, handlers = 0;
  if (!step.IntOption(L"first", request.firstId, &first) || !step.IntOption(L"last", request.lastId, &last) ||
      !step.IntOption(L"index", -1, &index) || !step.IntOption(L"flags", 0, &flags) ||
      !step.IntOption(L"prefill", 0, &prefill) || !step.IntOption(L"handlers", 1, &handlers) || first < 0 ||
      last < 0 || prefill < 0 || prefill > 100 || handlers < 1 || handlers > 10) {
    return Fail(step, L"bad menu option");
  }
  request.firstId = static_cast<UINT>(first);
  request.lastId = static_cast<UINT>(last);
  request.indexMenu = static_cast<int>(index);
  request.flags = static_cast<UINT>(flags);
  request.prefill = static_cast<int>(prefill);
  request.handlers = static_cast<int>(handlers);
  request.marker = step.Has(L"marker");
  request.commandStrings = !step.Has(L"no-strings");
  if (step.Has(L"background")) {
    if (step.args.size() > 1) return Fail(step, L"a background menu takes at most one folder");
    request.backgroundFolder = step.args.empty() ? folder_ : ResolvePath(step.args[0]);
  } else {
    if (step.args.empty()) return Fail(step, L"menu takes the selected items (or --background)");
    for (const auto& arg : step.args) request.paths.push_back(ResolvePath(arg));
  }
  menu_.reset();
  menu_ = std::make_unique<ContextMenuSession>(classes_, options_.menuClsid, tree_.Frame(), options_.id);
  menu_->Build(request);
  return true;
}

bool ExplorerFrame::StepMenuPicture(const Step& step) {
  if (step.args.size() != 1) return Fail(step, L"menu-picture takes a file name");
  if (!menu_) return Fail(step, L"no menu was built");
  SIZE size = {};
  int menus = 0;
  std::wstring error;
  if (!SaveMenuPicture(menu_->menu(), step.args[0], &size, &menus, &error)) return Fail(step, L"menu-picture: " + error);
  JsonLine("menu-picture")
      .Add("frame", options_.id)
      .Add("file", step.args[0])
      .Add("width", size.cx)
      .Add("height", size.cy)
      .Add("menus", menus)
      .Emit();
  return true;
}

bool ExplorerFrame::StepInvoke(const Step& step) {
  if (!menu_) return Fail(step, L"no menu was built");
  long long handler = 0;
  if (!step.IntOption(L"handler", 0, &handler)) return Fail(step, L"bad --handler");
  bool plain = step.Has(L"plain");
  HRESULT hr = E_FAIL;
  JsonLine line("invoke");
  line.Add("frame", options_.id);
  if (step.Has(L"id")) {
    long long id = 0;
    int owner = -1;
    UINT offset = 0;
    if (!step.IntOption(L"id", 0, &id) || id < 0) return Fail(step, L"bad --id");
    if (!menu_->InvokeId(static_cast<UINT>(id), plain, &hr, &owner, &offset)) return Fail(step, L"no handler owns that id");
    line.Add("id", id).Add("handler", owner).Add("offset", offset);
  } else if (step.Has(L"offset")) {
    long long offset = 0;
    if (!step.IntOption(L"offset", 0, &offset) || offset < 0 || offset > 0xFFFF) return Fail(step, L"bad --offset");
    if (!menu_->InvokeOffset(static_cast<int>(handler), static_cast<UINT>(offset), plain, &hr)) return Fail(step, L"no such handler");
    line.Add("handler", handler).Add("offset", offset);
  } else if (step.Has(L"verb")) {
    if (!menu_->InvokeVerb(static_cast<int>(handler), step.Option(L"verb"), plain, &hr)) return Fail(step, L"no such handler");
    line.Add("handler", handler).Add("verb", step.Option(L"verb"));
  } else {
    return Fail(step, L"invoke takes --id, --offset or --verb");
  }
  line.Hex("hr", static_cast<unsigned long>(hr)).Emit();
  return true;
}

bool ExplorerFrame::StepFire(const Step& step) {
  if (step.args.empty()) return Fail(step, L"fire takes an event");
  std::wstring event = LowerAZ(step.args[0]);
  int sinks = 0;
  long long dispid = 0;
  if (event == L"navigate") {
    dispid = 252;
    if (step.Has(L"url-null")) sinks = webBrowser_->FireNavigateComplete2(std::wstring(), StandinWebBrowser::UrlForm::NullText);
    else if (step.Has(L"url-empty")) sinks = webBrowser_->FireNavigateComplete2(std::wstring(), StandinWebBrowser::UrlForm::Empty);
    else sinks = webBrowser_->FireNavigateComplete2(step.Option(L"url", locationUrl_));
  } else if (event == L"commandstate") {
    long long command = 0;
    long long enable = 0;
    if (step.args.size() != 3 || !ParseNumber(step.args[1], &command) || !ParseNumber(step.args[2], &enable)) {
      return Fail(step, L"fire commandstate takes a command and 0 or 1");
    }
    dispid = 105;
    sinks = webBrowser_->FireCommandStateChange(static_cast<long>(command), enable != 0);
  } else if (event == L"quit") {
    dispid = 253;
    sinks = webBrowser_->FireOnQuit();
  } else if (event == L"title") {
    dispid = 113;
    sinks = webBrowser_->FireTitleChange(step.args.size() > 1 ? step.args[1] : LocationName());
  } else if (event == L"document") {
    dispid = 259;
    sinks = webBrowser_->FireDocumentComplete(locationUrl_);
  } else if (event == L"dispid") {
    if (step.args.size() != 2 || !ParseNumber(step.args[1], &dispid)) return Fail(step, L"fire dispid takes a number");
    sinks = webBrowser_->FireWithoutArguments(static_cast<DISPID>(dispid));
  } else {
    return Fail(step, L"unknown event " + step.args[0]);
  }
  JsonLine("fire").Add("frame", options_.id).Add("event", event).Add("dispid", dispid).Add("sinks", sinks).Emit();
  return true;
}

bool ExplorerFrame::StepBand(const Step& step) {
  if (step.args.size() != 1) return Fail(step, L"band takes load, setsite, setsite-null, getsite or release");
  std::wstring action = LowerAZ(step.args[0]);
  if (action == L"load") {
    LoadBands();
    return true;
  }
  if (action != L"setsite" && action != L"setsite-null" && action != L"getsite" && action != L"release") {
    return Fail(step, L"unknown band action " + step.args[0]);
  }
  for (size_t i = 0; i < bands_.size(); ++i) {
    JsonLine line("band");
    line.Add("frame", options_.id).Add("action", action).Add("index", static_cast<int>(i));
    IObjectWithSite* band = bands_[i].band.Get();
    if (action == L"setsite") {
      line.Hex("hr", static_cast<unsigned long>(band->SetSite(Site())));
    } else if (action == L"setsite-null") {
      line.Hex("hr", static_cast<unsigned long>(band->SetSite(nullptr)));
    } else if (action == L"getsite") {
      ComPtr<IUnknown> site;
      HRESULT hr = band->GetSite(IID_IUnknown, site.PutVoid());
      line.Hex("hr", static_cast<unsigned long>(hr)).Add("same", site.Get() == Site());
    } else {
      line.Add("left", static_cast<unsigned long>(bands_[i].band.Detach()->Release()));
    }
    line.Emit();
  }
  if (action == L"release") bands_.clear();
  return true;
}

bool ExplorerFrame::StepFocus(const Step& step) {
  std::wstring name = step.args.empty() ? L"items" : step.args[0];
  HWND target = name == L"none" ? nullptr : StepTarget(name);
  if (name != L"none" && !target) return Fail(step, L"focus takes items, view, pane, frame or none");
  ::SetFocus(target);
  JsonLine("focus").Add("frame", options_.id).Add("window", target).Add("focus", ::GetFocus()).Emit();
  return true;
}

std::wstring GuidName(REFGUID guid) {
  struct Known {
    const GUID* guid;
    const wchar_t* name;
  };
  static const Known kKnown[] = {
      {&IID_IUnknown, L"IID_IUnknown"},
      {&IID_IDispatch, L"IID_IDispatch"},
      {&IID_IShellBrowser, L"IID_IShellBrowser"},
      {&IID_IWebBrowserApp, L"IID_IWebBrowserApp"},
      {&IID_IWebBrowser2, L"IID_IWebBrowser2"},
      {&IID_IServiceProvider, L"IID_IServiceProvider"},
      {&IID_IConnectionPointContainer, L"IID_IConnectionPointContainer"},
      {&IID_IOleWindow, L"IID_IOleWindow"},
      {&SID_STopLevelBrowser, L"SID_STopLevelBrowser"},
  };
  for (const Known& known : kKnown) {
    if (*known.guid == guid) return known.name;
  }
  return ClsidText(guid);
}

}  // namespace quillan::standin
