#include "explorer/velcloud_explorer_inject_obj.h"

#include <servprov.h>
#include <shellapi.h>
#include <shlguid.h>
#include <shlwapi.h>

#include <algorithm>
#include <climits>
#include <utility>

#include "base/subclass.h"
#include "explorer/explorer_band.h"
#include "ipc/main_window.h"
#include "ui/dpi_scale.h"
#include "ui/system_version.h"

namespace quillan {

namespace {

// The resend schedule: the wait before the next bar record for resendIndex 0, 1, 2 and 3 on.
constexpr DWORD kResendIntervalsMs[] = {300, 1000, 3000, 60000};
constexpr int32_t kLastResendIndex = 3;
constexpr UINT kBarPlaceFlags = SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW;  // 0x54
constexpr UINT kViewPlaceFlags = SWP_NOZORDER | SWP_NOACTIVATE;                  // 0x14
// Window coordinates beyond this are meaningless to the system; a bar height above it is refused.
constexpr uint32_t kMaxBarHeight = 32767;

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

void PostCheckSelection(HWND host) {
  // A full queue only loses this check; the next input brings another.
  if (Exists(host)) ::PostMessageW(host, WM_HOST_CHECKSELECTION, 0, 0);
}

}  // namespace

const WindowClassInfo CVelCloudExplorerInjectObj::kHostWindowClassInfo = {
    kHostWindowClass, CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1), IDC_ARROW};

int32_t CVelCloudExplorerInjectObj::SelectionKind = 0;

CVelCloudExplorerInjectObj::CVelCloudExplorerInjectObj(CExplorerBand* owner, std::wstring appDataRoot)
    : band(owner), nonSynced(std::move(appDataRoot)) {}

CVelCloudExplorerInjectObj::~CVelCloudExplorerInjectObj() {
  Uninit();  // E_FAIL when Init never ran or Uninit already did: nothing else to undo
}

void CVelCloudExplorerInjectObj::OnFinalMessage(HWND) {}

BOOL CVelCloudExplorerInjectObj::ProcessWindowMessage(HWND, UINT message, WPARAM wParam, LPARAM lParam,
                                                      LRESULT& result) {
  result = 0;
  try {
    switch (message) {
      case WM_CREATE:
        return TRUE;
      case WM_DESTROY:
        bar.DestroyWindow();  // false when there is no bar
        return TRUE;
      case WM_TIMER:
        OnTimer(wParam);
        return TRUE;
      case WM_COPYDATA:
        result = OnCopyData(reinterpret_cast<const COPYDATASTRUCT*>(lParam));
        return TRUE;
      case WM_BAND_LOGIN:
        OnBandLogin(reinterpret_cast<HWND>(lParam));
        return TRUE;
      case WM_HOST_CHECKSELECTION:
        CheckSelection();
        return TRUE;
      case WM_HOST_SENDSELECTION:
        SendSelection();
        return TRUE;
      default:
        return FALSE;
    }
  } catch (...) {  // no memory for a record or a list: the message is answered as done, doing nothing more
    result = 0;
    return TRUE;
  }
}

HRESULT CVelCloudExplorerInjectObj::Init(IUnknown* site) {
  Uninit();  // E_FAIL when there was nothing to tear down
  if (!site) return S_OK;
  ComPtr<IServiceProvider> services;
  if (FAILED(site->QueryInterface(IID_IServiceProvider, services.PutVoid())) || !services) return E_FAIL;
  if (FAILED(services->QueryService(SID_SShellBrowser, IID_IShellBrowser, shellBrowser.PutVoid())) ||
      !shellBrowser) {
    shellBrowser = nullptr;
    return E_FAIL;
  }
  ForgetIfDestroyed();  // a host window that went with its thread leaves a stale handle
  const RECT none = {};
  // Without a window the host goes on: every later step checks hostWindow.
  hostWindow = Create(kHostWindowClassInfo, ::GetDesktopWindow(), none, nullptr, kHostWindowStyle, 0);
  // A display off the scale table keeps the scale it had (1 at first).
  DpiScale::Init();
  // From the design height each time: a second Init must not scale an already scaled height.
  barHeight = DpiScale::Scaled(kBarDesignHeight);
  initialized = true;
  // Opens the event when another host made it; without it the worker only wakes on its time-out.
  hostPresenceEvent.reset(::CreateEventW(nullptr, FALSE, FALSE, kHostPresenceEventName));
  workersAllowed = true;
  return S_OK;
}

HRESULT CVelCloudExplorerInjectObj::Uninit() {
  // Destroying the bar below sends its closing record, and the application's records come in while
  // that send waits: an adoption then must not start a worker that nothing would join.
  workersAllowed = false;
  // First, while everything it reads is still in place.
  StopWorker();
  if (!initialized) return E_FAIL;
  Detach();  // E_FAIL without a bar: no subclass or timer of ours is left then either
  DestroyWindow();  // false when the window is already gone
  hostWindow = nullptr;
  shellBrowser = nullptr;
  initialized = false;
  // Wakes a worker of another host waiting on the event, which then checks its own window.
  UniqueHandle event(::OpenEventW(EVENT_ALL_ACCESS, FALSE, kHostPresenceEventName));
  if (event) ::SetEvent(event.get());  // no event: no worker can be waiting on it
  StopWorker();  // none can have started; the object's end must not depend on that alone
  return S_OK;
}

HWND CVelCloudExplorerInjectObj::FrameWindow() {
  if (!shellBrowser) return nullptr;
  ComPtr<IShellView> view;
  if (FAILED(shellBrowser->QueryActiveShellView(view.Put())) || !view) return nullptr;
  HWND window = nullptr;
  if (FAILED(view->GetWindow(&window)) || !Exists(window)) return nullptr;
  HWND root = ::GetAncestor(window, GA_ROOT);
  return Exists(root) ? root : nullptr;
}

// ---- Records from the application.

LRESULT CVelCloudExplorerInjectObj::OnCopyData(const COPYDATASTRUCT* record) {
  if (!record || !IsAcceptedByHost(*record)) return 0;
  const void* data = record->lpData;
  const size_t size = record->cbData;
  switch (record->dwData) {
    case to_host::kAdoptWindow: {
      WindowRecord window;
      if (ParseWindowRecord(data, size, &window)) AdoptApplicationWindow(window);
      return 0;
    }
    case to_host::kVisibility:
    case to_host::kVisibilityAlt: {
      VisibilityRecord visibility;
      if (ParseVisibilityRecord(data, size, &visibility)) OnVisibility(visibility);
      return 0;
    }
    case to_host::kCloseExplorer:
      // Posted: the Explorer window closes after the sender has its answer.
      if (HWND frame = FrameWindow()) ::PostMessageW(frame, WM_SYSCOMMAND, SC_CLOSE, 0);
      return 0;
    case to_host::kAccountChanged: {
      AccountKey key;
      if (ParseAccountChangedRecord(data, size, &key)) OnAccountChanged(key);
      return 0;
    }
    case to_host::kAccountAction: {
      AccountActionRecord action;
      if (ParseAccountActionRecord(data, size, &action)) AccountAction(action);
      return 0;
    }
    case to_host::kRequestSelectedFiles: {
      WindowRecord request;
      if (ParseWindowRecord(data, size, &request)) ReplySelectedFiles(request);
      return 0;
    }
    case to_host::kProbe: {
      ProbeRecord probe;
      if (!ParseProbeRecord(data, size, &probe)) return 0;
      return probe.third == 0 ? 1 : 0;
    }
    case to_host::kRequestSelection: {
      WindowRecord request;
      // Posted: the selection goes out after the requester has its answer.
      if (ParseWindowRecord(data, size, &request) && request.key.Matches(userId, enterpriseId) && Exists(Host())) {
        ::PostMessageW(Host(), WM_HOST_SENDSELECTION, 0, 0);
      }
      return 0;
    }
    default:
      return 0;
  }
}

void CVelCloudExplorerInjectObj::OnVisibility(const VisibilityRecord& record) {
  if (record.show != 0 && loggedIn != 0 && !bar.CheckExternalWindow()) {
    // A logged-in bar has nothing to show without the application's window.
    if (bar.IsWindow()) ::ShowWindow(bar.window(), SW_HIDE);
    return;
  }
  SetBarVisible(record.show != 0, true);  // E_FAIL without a bar: nothing to show or hide
}

void CVelCloudExplorerInjectObj::OnAccountChanged(const AccountKey& key) {
  if (band) band->Refresh(loggedIn == 0);
  // The account may have changed under the refresh; the record names the one it is about.
  if (key.Matches(userId, enterpriseId) && bar.IsWindow()) SendBarRecordNow(0);
}

void CVelCloudExplorerInjectObj::AdoptApplicationWindow(const WindowRecord& record) {
  HWND window = WindowFromWire(record.window);
  if (!record.key.Matches(userId, enterpriseId) || !Exists(window) || !bar.IsWindow() ||
      ::GetParent(window) != bar.window()) {
    return;
  }
  bar.AttachExternalWindow(window);
  if (bar.CheckExternalWindow()) {
    resendIndex = 0;
    lastSendTick = ::GetTickCount();
    if (BarSwitchOn() && initialized && attached && Layout(true, true)) StartWatch();
  }
  if (Exists(savedFocus)) ::SetFocus(savedFocus);
  bool sameAccount;
  {
    CriticalSectionLock lock(nonSynced.listLock);
    sameAccount = nonSynced.threadUserId == record.key.userId && nonSynced.threadEnterpriseId == record.key.enterpriseId;
  }
  if (!sameAccount || !workerThread) StartWorker(record.key.userId, record.key.enterpriseId);
  PostCheckSelection(Host());
}

void CVelCloudExplorerInjectObj::AccountAction(const AccountActionRecord& record) {
  if (!record.key.Matches(userId, enterpriseId)) return;
  switch (record.action) {
    case kActionMaximize:
      if (HWND frame = FrameWindow()) ::PostMessageW(frame, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
      break;
    case kActionRefreshView: {
      ComPtr<IShellView> view;
      if (shellBrowser && SUCCEEDED(shellBrowser->QueryActiveShellView(view.Put())) && view) {
        view->Refresh();  // a view that cannot refresh stays as it is
      }
      break;
    }
    case kActionSetBarHeight:
      // A height below zero or beyond any screen is no height; the bar keeps its own.
      if (record.argument > kMaxBarHeight) break;
      barHeight = static_cast<int32_t>(record.argument);
      if (BarSwitchOn() && !(loggedIn != 0 && !bar.CheckExternalWindow()) && initialized && attached &&
          Layout(true, true)) {
        StartWatch();
      }
      break;
    default:
      break;
  }
}

void CVelCloudExplorerInjectObj::ReplySelectedFiles(const WindowRecord& record) {
  if (!record.key.Matches(userId, enterpriseId)) return;
  HWND external = bar.ExternalWindow();
  if (!Exists(external) || external != WindowFromWire(record.window)) return;
  std::vector<std::wstring> paths;
  SelectionQuery(&paths);
  std::optional<Record> reply = BuildSelectedFilesReply(record.key.userId, record.key.enterpriseId, record.window, paths);
  if (reply) SendToMainWindow(*reply);  // a list too long for one record is not sent
}

void CVelCloudExplorerInjectObj::OnBandLogin(HWND barWindow) {
  // Without the application, this starts it for the login.
  SendBarRecord(Host(), barWindow, userId, enterpriseId, userName, enterpriseName, loggedIn, 1);
}

int CVelCloudExplorerInjectObj::SendBarRecordNow(int launch) {
  return SendBarRecord(Host(), bar.window(), userId, enterpriseId, userName, enterpriseName, loggedIn, launch);
}

bool CVelCloudExplorerInjectObj::BarSwitchOn() const { return IsExplorerBarEnabled(nonSynced.AppDataRoot()) != 0; }

// ---- The selection.

namespace {

// Lets go of a storage medium however GetData left it.
class Medium {
 public:
  Medium() = default;
  ~Medium() {
    if (taken_) ::ReleaseStgMedium(&medium_);
  }
  Medium(const Medium&) = delete;
  Medium& operator=(const Medium&) = delete;
  STGMEDIUM* put() {
    taken_ = true;
    return &medium_;
  }
  const STGMEDIUM& get() const { return medium_; }

 private:
  STGMEDIUM medium_ = {};
  bool taken_ = false;
};

class GlobalLockScope {
 public:
  explicit GlobalLockScope(HGLOBAL memory) : memory_(memory), data_(memory ? ::GlobalLock(memory) : nullptr) {}
  ~GlobalLockScope() {
    if (data_) ::GlobalUnlock(memory_);
  }
  GlobalLockScope(const GlobalLockScope&) = delete;
  GlobalLockScope& operator=(const GlobalLockScope&) = delete;
  bool locked() const { return data_ != nullptr; }

 private:
  HGLOBAL memory_;
  void* data_;
};

}  // namespace

int CVelCloudExplorerInjectObj::SelectionQuery(std::vector<std::wstring>* paths) {
  if (paths) paths->clear();
  if (!shellBrowser) return 0;
  try {
    ComPtr<IShellView> view;
    if (FAILED(shellBrowser->QueryActiveShellView(view.Put())) || !view) return 0;
    ComPtr<IDataObject> data;
    // Explorer has no data object for an empty selection.
    if (FAILED(view->GetItemObject(SVGIO_SELECTION, IID_IDataObject, data.PutVoid())) || !data) return 0;
    FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    Medium medium;
    if (FAILED(data->GetData(&format, medium.put()))) return 0;
    if (medium.get().tymed != TYMED_HGLOBAL || !medium.get().hGlobal) return 0;
    GlobalLockScope lock(medium.get().hGlobal);
    if (!lock.locked()) return 0;
    auto drop = static_cast<HDROP>(medium.get().hGlobal);
    const UINT count = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    if (paths) {
      for (UINT i = 0; i < count; ++i) {
        const UINT length = ::DragQueryFileW(drop, i, nullptr, 0);
        std::wstring path(static_cast<size_t>(length) + 1, L'\0');
        const UINT copied = ::DragQueryFileW(drop, i, &path[0], length + 1);
        path.resize(std::min(copied, length));
        paths->push_back(std::move(path));
      }
    }
    return static_cast<int>(std::min<UINT>(count, INT_MAX));
  } catch (...) {  // no memory for the list: no selection
    if (paths) paths->clear();
    return 0;
  }
}

void CVelCloudExplorerInjectObj::CheckSelection() {
  const int count = SelectionQuery(&selectedPaths);
  int32_t kind = 0x1B;  // a folder, or several items
  if (selectedPaths.empty()) {
    kind = 0x18;
  } else if (selectedPaths.size() == 1 && !::PathIsDirectoryW(selectedPaths[0].c_str())) {
    kind = 0x1F;
  }
  {
    CriticalSectionLock lock(nonSynced.listLock);
    if (nonSynced.IsSelectionExcluded(selectedPaths)) kind &= ~2;
  }
  HWND frame = FrameWindow();
  const bool canSend = frame && FindMainWindow();
  if (kind & 2) {
    if (canSend) SendToMainWindow(BuildSelectionFlagRecord(true));
  } else if (SelectionKind & 2) {
    if (canSend) SendToMainWindow(BuildSelectionFlagRecord(false));
  }
  SelectionKind = kind;
  if (count != lastSelectionCount) {
    if ((lastSelectionCount == -1 || (count != 0) != (lastSelectionCount != 0)) && canSend) {
      SendToMainWindow(BuildSelectionStateRecord(userId, enterpriseId, frame, static_cast<uint32_t>(count)));
    }
    lastSelectionCount = count;
  }
}

void CVelCloudExplorerInjectObj::SendSelection() {
  if (selectedPaths.empty()) return;
  std::optional<Record> record = BuildShareRecord(FrameWindow(), selectedPaths);
  if (record) SendToMainWindow(*record);  // a list too long for one record is not sent
}

// ---- The windows and the bar.

bool CVelCloudExplorerInjectObj::FindViewWindowsFast(ViewWindows* found) {
  if (!shellBrowser) return false;
  ComPtr<IShellView> view;
  HWND window = nullptr;
  if (FAILED(shellBrowser->QueryActiveShellView(view.Put())) || !view || FAILED(view->GetWindow(&window))) return false;
  return FindViewWindowsFastFrom(window, found);
}

bool CVelCloudExplorerInjectObj::FindViewWindows(ViewWindows* found) {
  if (!shellBrowser) return false;
  ComPtr<IShellView> view;
  HWND window = nullptr;
  if (FAILED(shellBrowser->QueryActiveShellView(view.Put())) || !view || FAILED(view->GetWindow(&window))) return false;
  ViewSearchSystem system;
  system.xpOr2003 = IsXpOr2003();
  system.vistaOrLater = IsVistaOrLater();
  return FindViewWindowsFrom(window, system, found);
}

HRESULT CVelCloudExplorerInjectObj::Attach(const ViewWindows* windows) {
  if (!initialized) return E_FAIL;
  Detach();  // E_FAIL when there was no bar
  lastSelectionCount = -1;
  StopWatch();
  ViewWindows found;
  if (windows && Exists(windows->parent) && Exists(windows->view) && Exists(windows->items)) {
    found = *windows;
  } else if (!FindViewWindows(&found)) {
    return E_FAIL;
  }
  viewWindows = found;
  bar.DestroyWindow();  // false when there is none
  bar.ResetIfDestroyed();
  bar.SetHostWindow(Host());
  if (!bar.Create(found.parent)) {
    // Without a bar there is nothing to attach; the retry timer tries again.
    viewWindows = ViewWindows{};
    return E_FAIL;
  }
  ::ShowWindow(bar.window(), SW_HIDE);
  bar.SetAvatar(avatarImage);
  bar.SetAccountInfo(userName, nickname, enterpriseName, userId, enterpriseId, loggedIn != 0, true);
  savedFocus = ::GetFocus();
  lastParentRect = RECT{};
  attached = true;
  const DWORD now = ::GetTickCount();
  // The windows were found just now: the next check of the bar's place is due in 3 s, so that the
  // schedule's 300 and 1000 ms resends come first.
  lastRevalidateTick = now;
  if (Exists(Host())) {
    resendIndex = 0;
    lastSendTick = now;
    SendBarRecordNow(0);
    ::SetTimer(Host(), kWatchTimer, kTimerPeriodMs, nullptr);
  }
  return S_OK;
}

HRESULT CVelCloudExplorerInjectObj::Detach() {
  if (!initialized || !attached) return E_FAIL;
  if (Exists(Host())) {
    ::KillTimer(Host(), kAttachRetryTimer);  // fails harmlessly when it is not running
    ::KillTimer(Host(), kWatchTimer);
  }
  lastSelectionCount = -1;
  StopWatch();
  viewWindows = ViewWindows{};
  lastParentRect = RECT{};
  bar.DestroyWindow();
  attached = false;
  return S_OK;
}

void CVelCloudExplorerInjectObj::StartWatch() {
  if (WatchesThisSystem()) {
    const auto id = reinterpret_cast<UINT_PTR>(this);
    const auto self = reinterpret_cast<DWORD_PTR>(this);
    // Installing again on the same window only renews the reference data.
    if (Exists(viewWindows.view) && SetSubclass(viewWindows.view, &ViewSubclassProc, id, self)) {
      viewSubclassed = true;
    }
    if (Exists(viewWindows.items) && SetSubclass(viewWindows.items, &ItemsSubclassProc, id, self)) {
      itemsSubclassed = true;
    }
  }
  if (Exists(Host())) ::SetTimer(Host(), kWatchTimer, kTimerPeriodMs, nullptr);
}

void CVelCloudExplorerInjectObj::StopWatch() {
  if (!WatchesThisSystem()) return;
  const auto id = reinterpret_cast<UINT_PTR>(this);
  // A window that is gone took its subclass with it.
  if (viewSubclassed && Exists(viewWindows.view)) RemoveSubclass(viewWindows.view, &ViewSubclassProc, id);
  if (itemsSubclassed && Exists(viewWindows.items)) {
    RemoveSubclass(viewWindows.items, &ItemsSubclassProc, id);
  }
  viewSubclassed = false;
  itemsSubclassed = false;
}

int CVelCloudExplorerInjectObj::Layout(bool show, bool force) {
  const HWND parent = viewWindows.parent;
  const HWND view = viewWindows.view;
  if (!Exists(viewWindows.items) || !Exists(view) || !Exists(parent) || !bar.IsWindow()) return 0;
  RECT rc = {};
  if (show) {
    // A logged-in bar has nothing to show without the application's window.
    if (loggedIn != 0 && !bar.CheckExternalWindow()) return Layout(false, force);
    if (!::GetClientRect(parent, &rc)) return 0;
    if (force || !::EqualRect(&rc, &lastParentRect)) {
      lastParentRect = rc;
      ::SetWindowPos(bar.window(), HWND_TOP, rc.left, rc.top, rc.right - rc.left, barHeight, kBarPlaceFlags);
      const RECT r = RectInParent(view, parent);
      const int top = ClampToInt(static_cast<long long>(rc.top) + barHeight);
      ::SetWindowPos(view, HWND_TOP, r.left, top, r.right - r.left, std::max(0, ClampToInt(static_cast<long long>(rc.bottom) - top)),
                     kViewPlaceFlags);
    }
    if (!bar.CheckExternalWindow()) {
      // The bar's own login face: no list to keep fresh, and always its design height.
      StopWorker();
      const int height = DpiScale::Scaled(kBarDesignHeight);
      if (height != barHeight) {
        barHeight = height;
        Layout(true, true);
      }
      ResendStep(::GetTickCount());
    }
    return 1;
  }
  if (!::GetClientRect(parent, &rc)) return 0;
  lastParentRect = RECT{};
  ::ShowWindow(bar.window(), SW_HIDE);
  const RECT r = RectInParent(view, parent);
  ::SetWindowPos(view, HWND_TOP, r.left, rc.top, r.right - r.left, rc.bottom - rc.top, kViewPlaceFlags);
  return 1;
}

LRESULT CALLBACK CVelCloudExplorerInjectObj::ViewSubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                                              UINT_PTR id, DWORD_PTR refData) {
  auto* host = reinterpret_cast<CVelCloudExplorerInjectObj*>(refData);
  if (message == WM_NCDESTROY) {
    RemoveSubclass(window, &ViewSubclassProc, id);
    if (window == host->viewWindows.view) host->viewSubclassed = false;
  } else if (message == WM_WINDOWPOSCHANGING && lParam) {
    const HWND parent = host->viewWindows.parent;
    const HWND barWindow = host->bar.window();
    // Only under a bar that shows: a hidden bar has handed the view its full height back.
    const bool barShows = Exists(barWindow) && (::GetWindowLongPtrW(barWindow, GWL_STYLE) & WS_VISIBLE);
    RECT rc = {};
    if (Exists(parent) && barShows && ::GetClientRect(parent, &rc)) {
      auto* pos = reinterpret_cast<WINDOWPOS*>(lParam);
      pos->x = 0;
      pos->y = host->barHeight;
      pos->cx = rc.right - rc.left;
      pos->cy = std::max(0, ClampToInt(static_cast<long long>(rc.bottom) - host->barHeight - rc.top));
      return 0;
    }
  }
  return DefSubclass(window, message, wParam, lParam);
}

LRESULT CALLBACK CVelCloudExplorerInjectObj::ItemsSubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                                               UINT_PTR id, DWORD_PTR refData) {
  auto* host = reinterpret_cast<CVelCloudExplorerInjectObj*>(refData);
  if (message == WM_NCDESTROY) {
    RemoveSubclass(window, &ItemsSubclassProc, id);
    if (window == host->viewWindows.items) host->itemsSubclassed = false;
  } else if (IsVistaOrLater()) {
    const HWND view = host->viewWindows.view;
    RECT client = {};
    if (message == WM_WINDOWPOSCHANGING && lParam && Exists(view) && ::GetClientRect(view, &client)) {
      auto* pos = reinterpret_cast<WINDOWPOS*>(lParam);
      pos->x = 0;
      pos->y = 0;
      pos->cx = client.right;
      pos->cy = client.bottom;
      return 0;
    }
    if (message == WM_KEYUP || message == WM_LBUTTONDOWN || message == WM_LBUTTONUP || message == WM_RBUTTONDOWN ||
        message == WM_RBUTTONUP || (message == WM_MOUSEMOVE && wParam == MK_LBUTTON)) {
      PostCheckSelection(host->Host());
    }
  } else if (IsXpOr2003()) {
    if (message == WM_KEYUP || message == WM_CAPTURECHANGED) PostCheckSelection(host->Host());
  }
  return DefSubclass(window, message, wParam, lParam);
}

HRESULT CVelCloudExplorerInjectObj::SetBarVisible(bool show, bool force) {
  if (!initialized || !attached) return E_FAIL;
  if (!show) {
    if (Exists(Host())) ::KillTimer(Host(), kWatchTimer);
    StopWatch();
    Layout(false, force);
  } else if (BarSwitchOn() && Layout(true, force)) {
    // The switch at 0 keeps the bar hidden, whoever asks to show it.
    StartWatch();
  }
  return S_OK;
}

// ---- Keeping the bar right over time.

HRESULT CVelCloudExplorerInjectObj::UpdateAccount(bool show, const std::wstring& accountSyncFolder,
                                                  const std::wstring& accountUserId,
                                                  const std::wstring& accountEnterpriseId,
                                                  const std::wstring& accountUserName,
                                                  const std::wstring& accountNickname,
                                                  const std::wstring& accountEnterpriseName,
                                                  const std::wstring& accountAvatarImage, int32_t accountLoggedIn) {
  if (!initialized) return E_FAIL;
  if (show) {
    syncFolder = accountSyncFolder;
    userId = accountUserId;
    enterpriseId = accountEnterpriseId;
    userName = accountUserName;
    nickname = accountNickname;
    enterpriseName = accountEnterpriseName;
    avatarImage = accountAvatarImage;
    loggedIn = accountLoggedIn;
    nonSynced.syncFolder = accountSyncFolder;
    if (FAILED(Attach(nullptr))) {
      if (Exists(Host())) {
        attachRetriesLeft = kAttachRetries;
        ::SetTimer(Host(), kAttachRetryTimer, kTimerPeriodMs, nullptr);
      }
      return S_OK;
    }
    // A logged-in bar stays hidden until the application's window arrives (record 33769).
    if (loggedIn == 0 && BarSwitchOn() && initialized && attached && Layout(true, true)) StartWatch();
    return S_OK;
  }
  // The attach retries stop too, attached or not: a retry after leaving would put up a bar with no
  // account in a folder outside every sync folder.
  if (Exists(Host())) ::KillTimer(Host(), kAttachRetryTimer);  // fails harmlessly when not running
  if (attached) {
    if (Exists(Host())) ::KillTimer(Host(), kWatchTimer);
    StopWatch();
    Layout(false, true);
  }
  syncFolder.clear();
  userId.clear();
  enterpriseId.clear();
  userName.clear();
  nickname.clear();
  enterpriseName.clear();
  avatarImage.clear();
  loggedIn = 0;
  nonSynced.syncFolder.clear();
  Detach();  // E_FAIL when there was no bar
  return S_OK;
}

HRESULT CVelCloudExplorerInjectObj::Revalidate() {
  if (!initialized || syncFolder.empty()) return E_FAIL;
  ViewWindows t;
  const bool found = FindViewWindowsFast(&t);
  const DWORD now = ::GetTickCount();
  if (!found) {
    // Timer 1000 checks again in 300 ms.
    lastRevalidateTick = now - (kRevalidatePeriodMs - kRevalidateRetryMs);
    return E_PENDING;
  }
  lastRevalidateTick = now;
  const bool stillRight = attached && Exists(t.parent) && Exists(t.view) && Exists(t.items) &&
                          t.parent == viewWindows.parent && t.view == viewWindows.view && bar.IsWindow() &&
                          ::GetParent(bar.window()) == t.parent;
  if (stillRight) {
    if (t.items != viewWindows.items) {
      // The view rebuilt its items window: watch the new one and look at its selection afresh.
      StopWatch();
      viewWindows.items = t.items;
      lastSelectionCount = -1;
      StartWatch();
      PostCheckSelection(Host());
    }
    if (!bar.CheckExternalWindow()) {
      if (loggedIn == 0 && BarSwitchOn()) Layout(true, true);
      resendIndex = 0;
      lastSendTick = now;
      SendBarRecordNow(0);
      return S_OK;
    }
    if (BarSwitchOn()) Layout(true, true);
    return S_OK;
  }
  const HRESULT hr = Attach(&t);
  if (FAILED(hr)) {
    if (Exists(Host())) {
      attachRetriesLeft = kAttachRetries;
      ::SetTimer(Host(), kAttachRetryTimer, kTimerPeriodMs, nullptr);
    }
    return hr;
  }
  if (loggedIn == 0 && BarSwitchOn() && initialized && attached && Layout(true, true)) StartWatch();
  return S_OK;
}

void CVelCloudExplorerInjectObj::ResendStep(DWORD now) {
  if (userId.empty() || enterpriseId.empty()) return;
  const int32_t index = std::max<int32_t>(0, std::min(resendIndex, kLastResendIndex));
  if (now - lastSendTick < kResendIntervalsMs[index]) return;
  if (resendIndex < kLastResendIndex) ++resendIndex;
  lastSendTick = now;
  SendBarRecordNow(0);
}

void CVelCloudExplorerInjectObj::OnTimer(UINT_PTR id) {
  if (id == kAttachRetryTimer) {
    if (syncFolder.empty()) {
      // The account was taken away while the retries ran: there is no bar to put up.
      if (Exists(Host())) ::KillTimer(Host(), kAttachRetryTimer);
      return;
    }
    ViewWindows t;
    if (FindViewWindowsFast(&t) && SUCCEEDED(Attach(&t))) {
      if (Exists(Host())) ::KillTimer(Host(), kAttachRetryTimer);
      if (BarSwitchOn() && !(loggedIn != 0 && !bar.CheckExternalWindow()) && initialized && attached &&
          Layout(true, true)) {
        StartWatch();
      }
      return;
    }
    if (--attachRetriesLeft < 0 && Exists(Host())) ::KillTimer(Host(), kAttachRetryTimer);
    return;
  }
  if (id != kWatchTimer) return;
  const DWORD now = ::GetTickCount();
  if (Exists(viewWindows.view) && Exists(viewWindows.parent) && bar.IsWindow() && Exists(viewWindows.items) &&
      now - lastRevalidateTick < kRevalidatePeriodMs) {
    const bool external = bar.CheckExternalWindow();
    if ((external || loggedIn == 0) && BarSwitchOn()) {
      // Follows a resize of the pane, whichever face the bar shows; for its own face Layout also
      // runs the resend step. The switch at 0 keeps the bar hidden.
      Layout(true, false);
    } else if (!external) {
      ResendStep(now);
    }
    return;
  }
  Revalidate();  // its failures are retried by this timer or by timer 1001
}

// ---- The worker thread.

bool CVelCloudExplorerInjectObj::StartWorker(const std::wstring& threadUser, const std::wstring& threadEnterprise) {
  if (!workersAllowed) return false;
  // One worker per object: an earlier account's is stopped first.
  StopWorker();
  if (!workerStopEvent) workerStopEvent.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  // Without a way to stop it at once the worker is not started; the list stays as it was.
  if (!workerStopEvent) return false;
  {
    CriticalSectionLock lock(nonSynced.listLock);
    nonSynced.threadUserId = threadUser;
    nonSynced.threadEnterpriseId = threadEnterprise;
  }
  workerStop = false;
  ::ResetEvent(workerStopEvent.get());
  workerThread.reset(::CreateThread(nullptr, 0, &WorkerThreadProc, this, 0, nullptr));
  return static_cast<bool>(workerThread);
}

void CVelCloudExplorerInjectObj::StopWorker() {
  if (!workerThread) return;
  workerStop = true;
  if (workerStopEvent) ::SetEvent(workerStopEvent.get());
  // The worker never waits for this thread, and its longest step is one reading of the list.
  ::WaitForSingleObject(workerThread.get(), INFINITE);
  workerThread.reset();
  workerStop = false;
}

DWORD WINAPI CVelCloudExplorerInjectObj::WorkerThreadProc(void* host) {
  static_cast<CVelCloudExplorerInjectObj*>(host)->WorkerLoop();
  return 0;
}

void CVelCloudExplorerInjectObj::WorkerLoop() {
  if (!Exists(Host())) return;
  for (;;) {
    if (workerStop) return;
    {
      CriticalSectionLock lock(nonSynced.listLock);
      if (nonSynced.threadUserId.empty() || nonSynced.threadEnterpriseId.empty()) return;
    }
    if (!initialized) return;
    {
      CriticalSectionLock lock(nonSynced.listLock);
      try {
        nonSynced.LoadNonSyncedFolders();
      } catch (...) {  // no memory: the list stays as it was until the next cycle
      }
    }
    if (Exists(Host())) {
      HANDLE events[2] = {workerStopEvent.get(), hostPresenceEvent.get()};
      // Another process (or a closing host) signals the presence event to ask for a reload now.
      ::WaitForMultipleObjects(hostPresenceEvent ? 2 : 1, events, FALSE, kWorkerPeriodMs);
    }
    if (workerStop) return;
    if (hostPresenceEvent) ::ResetEvent(hostPresenceEvent.get());
    if (!Exists(Host())) return;
  }
}

}  // namespace quillan
