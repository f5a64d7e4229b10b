#include "explorer/velcloud_explorer_inject_obj.h"

#include <servprov.h>
#include <shlguid.h>

#include <utility>

#include "config/sync_config.h"
#include "explorer/host_window_class.h"
#include "explorer/retired_bars.h"
#include "ipc/main_window.h"
#include "ui/dpi_scale.h"

namespace quillan {

namespace {

constexpr DWORD kHostWindowStyle = WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
const WindowClassInfo kHostWindowClassInfo = {kHostWindowClass, CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS,
                                              reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1), IDC_ARROW};

bool Exists(HWND window) { return window && ::IsWindow(window); }

// Sets a flag for the length of a scope.
class FlagScope {
 public:
  explicit FlagScope(bool& flag) : flag_(flag), before_(flag) { flag_ = true; }
  ~FlagScope() { flag_ = before_; }
  FlagScope(const FlagScope&) = delete;
  FlagScope& operator=(const FlagScope&) = delete;

 private:
  bool& flag_;
  bool before_;
};

}  // namespace

CVelCloudExplorerInjectObj::CVelCloudExplorerInjectObj(CExplorerBand* band, std::wstring appDataRoot)
    : band_(band), placement_(*this), worker_(std::move(appDataRoot)) {}

CVelCloudExplorerInjectObj::~CVelCloudExplorerInjectObj() {
  Uninit();  // E_FAIL when Init never ran or Uninit already did: nothing else to undo
  worker_.Stop();
}

BOOL CVelCloudExplorerInjectObj::ProcessWindowMessage(HWND, UINT message, WPARAM wParam, LPARAM lParam,
                                                      LRESULT& result) {
  result = 0;
  switch (message) {
    case WM_CREATE:
      return TRUE;
    case WM_DESTROY:
      // Destroyed by the system (its thread ends) rather than by Uninit: the bar goes the same way.
      RetireBar();
      return TRUE;
    case WM_TIMER:
      OnTimer(wParam);
      return TRUE;
    case WM_COPYDATA:
      result = DispatchHostRecord(reinterpret_cast<const COPYDATASTRUCT*>(lParam), *this, tearingDown_);
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
    case WM_HOST_ACCOUNTCHANGED:
      if (accountChangedPending_ && !tearingDown_) {
        accountChangedPending_ = false;
        RefreshForAccount(pendingAccountKey_);
      }
      return TRUE;
    default:
      return FALSE;
  }
}

// ---- Life.

HRESULT CVelCloudExplorerInjectObj::Init(IUnknown* site) {
  Uninit();  // E_FAIL when there was nothing to tear down
  if (!site) return S_OK;
  ComPtr<IServiceProvider> services;
  if (FAILED(site->QueryInterface(IID_IServiceProvider, services.PutVoid())) || !services) return E_FAIL;
  if (FAILED(services->QueryService(SID_SShellBrowser, IID_IShellBrowser, shellBrowser_.PutVoid())) ||
      !shellBrowser_) {
    shellBrowser_ = nullptr;
    return E_FAIL;
  }
  ForgetIfDestroyed();  // a host window that went with its thread leaves a stale handle
  const RECT none = {};
  // Without a window the host goes on: every later step checks it.
  Create(kHostWindowClassInfo, ::GetDesktopWindow(), none, nullptr, kHostWindowStyle, 0);
  // A display off the scale table keeps the scale it had (1 at first).
  DpiScale::Init();
  // From the design height each time: a second Init must not scale an already scaled height.
  placement_.SetHeight(DpiScale::Scaled(BarPlacement::kDesignHeight));
  initialized_ = true;
  tearingDown_ = false;
  worker_.OpenPresenceEvent();
  return S_OK;
}

HRESULT CVelCloudExplorerInjectObj::Uninit() {
  // Taking the bar away sends its closing record, and the application's records come in while that
  // send waits: from here on they are answered, not acted on.
  FlagScope tearing(tearingDown_);
  worker_.Stop();  // first, while everything it reads is still in place
  if (!initialized_) return E_FAIL;
  Detach();  // E_FAIL without a bar: no subclass or timer of ours is left then either
  DestroyWindow();  // false when the window is already gone
  shellBrowser_ = nullptr;
  initialized_ = false;
  // Wakes a worker of another host waiting on the event, which then checks its own window.
  UniqueHandle event(::OpenEventW(EVENT_ALL_ACCESS, FALSE, kHostPresenceEventName));
  if (event) ::SetEvent(event.get());  // no event: no worker can be waiting on it
  worker_.ClosePresenceEvent();
  return S_OK;
}

HWND CVelCloudExplorerInjectObj::FrameWindow() const {
  if (!shellBrowser_) return nullptr;
  ComPtr<IShellView> view;
  if (FAILED(shellBrowser_->QueryActiveShellView(view.Put())) || !view) return nullptr;
  HWND window = nullptr;
  if (FAILED(view->GetWindow(&window)) || !Exists(window)) return nullptr;
  HWND root = ::GetAncestor(window, GA_ROOT);
  return Exists(root) ? root : nullptr;
}

bool CVelCloudExplorerInjectObj::BarSwitchOn() const {
  return IsExplorerBarEnabled(worker_.list().AppDataRoot()) != 0;
}

// ---- The bar's place.

HRESULT CVelCloudExplorerInjectObj::Attach(const ViewWindows* windows) {
  if (!initialized_ || changingBar_ || tearingDown_) return E_FAIL;
  FlagScope changing(changingBar_);
  Detach();  // E_FAIL when there was no bar
  selection_.Reset();
  placement_.StopWatch();
  ViewWindows found;
  if (windows && Exists(windows->parent) && Exists(windows->view) && Exists(windows->items)) {
    found = *windows;
  } else if (!BarPlacement::FindFull(shellBrowser_.Get(), &found)) {
    return E_FAIL;
  }
  placement_.SetWindows(found);
  RetireBar();  // a bar left from an earlier attach
  auto bar = std::make_unique<CTopBand>();
  bar->SetHostWindow(m_hWnd);
  if (!bar->Create(found.parent)) {
    // Without a bar there is nothing to attach; the retry timer tries again.
    placement_.Clear();
    return E_FAIL;
  }
  bar_ = std::move(bar);
  ::ShowWindow(bar_->window(), SW_HIDE);
  bar_->SetAvatar(account_.avatarImage);
  bar_->SetAccountInfo(account_.userName, account_.nickname, account_.enterpriseName, account_.userId,
                       account_.enterpriseId, account_.loggedIn != 0, true);
  savedFocus_ = ::GetFocus();
  placement_.ForgetPaneSize();
  attached_ = true;
  // Any attach ends the retries, whichever path asked for it.
  if (Exists(m_hWnd)) ::KillTimer(m_hWnd, kAttachRetryTimer);  // fails harmlessly when not running
  // The windows were found just now: the next check of the bar's place is due in 3 s.
  lastRevalidateTick_ = ::GetTickCount();
  if (Exists(m_hWnd)) {
    ::SetTimer(m_hWnd, kWatchTimer, kTimerPeriodMs, nullptr);
    // Last: the application may answer with records of its own while the send waits.
    sender_.Announce(RecordTarget());
  }
  return S_OK;
}

HRESULT CVelCloudExplorerInjectObj::Detach() {
  if (!initialized_ || !attached_) return E_FAIL;
  FlagScope changing(changingBar_);
  if (Exists(m_hWnd)) {
    ::KillTimer(m_hWnd, kAttachRetryTimer);  // fails harmlessly when it is not running
    ::KillTimer(m_hWnd, kWatchTimer);
  }
  selection_.Reset();
  placement_.StopWatch();
  placement_.Clear();
  attached_ = false;
  RetireBar();
  return S_OK;
}

void CVelCloudExplorerInjectObj::RetireBar() {
  if (bar_) ThreadRetiredBars().Retire(bar_);
}

void CVelCloudExplorerInjectObj::StartAttachRetry() {
  if (!Exists(m_hWnd)) return;
  attachRetriesLeft_ = kAttachRetries;
  ::SetTimer(m_hWnd, kAttachRetryTimer, kTimerPeriodMs, nullptr);
}

void CVelCloudExplorerInjectObj::AttachOrRetry(const ViewWindows* windows) {
  if (changingBar_) return;  // asked from inside an attach: the outer one puts the bar up
  if (FAILED(Attach(windows))) {
    StartAttachRetry();
    return;
  }
  // A logged-in bar stays hidden until the application's window arrives (record 33769).
  ShowBar();
}

void CVelCloudExplorerInjectObj::StartWatch() {
  placement_.StartWatch();
  if (Exists(m_hWnd)) ::SetTimer(m_hWnd, kWatchTimer, kTimerPeriodMs, nullptr);
}

void CVelCloudExplorerInjectObj::StopWatch() {
  if (Exists(m_hWnd)) ::KillTimer(m_hWnd, kWatchTimer);
  placement_.StopWatch();
}

bool CVelCloudExplorerInjectObj::BarMayShow() {
  if (!initialized_ || !attached_ || !BarSwitchOn()) return false;
  return account_.loggedIn == 0 || ExternalWindowInBar();
}

void CVelCloudExplorerInjectObj::ShowBar() {
  if (BarMayShow() && Layout(true, true)) StartWatch();
}

void CVelCloudExplorerInjectObj::HideBar() {
  StopWatch();
  Layout(false, true);
}

int CVelCloudExplorerInjectObj::Layout(bool show, bool force) {
  if (!placement_.WindowsExist() || !BarExists()) return 0;
  const HWND bar = bar_->window();
  if (!show) return placement_.HideBar(bar) ? 1 : 0;
  const bool external = ExternalWindowInBar();
  // A logged-in bar has nothing to show without the application's window.
  if (account_.loggedIn != 0 && !external) return Layout(false, force);
  if (!placement_.ShowBar(bar, force)) return 0;
  if (!external) {
    // The bar's own login face: no list to keep fresh, and always its design height.
    worker_.Stop();
    const int height = DpiScale::Scaled(BarPlacement::kDesignHeight);
    if (height != placement_.height()) {
      placement_.SetHeight(height);
      placement_.ShowBar(bar, true);
    }
    sender_.ResendIfDue(RecordTarget(), ::GetTickCount());
  }
  return 1;
}

HRESULT CVelCloudExplorerInjectObj::SetBarVisible(bool show, bool force) {
  if (!initialized_ || !attached_) return E_FAIL;
  if (!show) {
    StopWatch();
    Layout(false, force);
  } else if (BarMayShow() && Layout(true, force)) {
    // The switch at 0 keeps the bar hidden, whoever asks to show it.
    StartWatch();
  }
  return S_OK;
}

void CVelCloudExplorerInjectObj::OnItemsInput() { selection_.Post(m_hWnd); }

// ---- Keeping the bar right over time.

HRESULT CVelCloudExplorerInjectObj::UpdateAccount(bool show, const AccountEntry& account) {
  if (!initialized_) return E_FAIL;
  if (tearingDown_ || changingBar_) return E_PENDING;  // the bar is being changed: no nested change
  if (show) {
    if (account.userId != account_.userId || account.enterpriseId != account_.enterpriseId) sender_.ForgetLogin();
    account_ = account;
    worker_.list().SetSyncFolder(account.syncFolder);
    AttachOrRetry(nullptr);
    return S_OK;
  }
  // The attach retries stop too, attached or not: a retry after leaving would put up a bar with no
  // account in a folder outside every sync folder.
  if (Exists(m_hWnd)) ::KillTimer(m_hWnd, kAttachRetryTimer);  // fails harmlessly when not running
  if (attached_) HideBar();
  account_ = AccountEntry{};
  sender_.ForgetLogin();
  worker_.list().SetSyncFolder(std::wstring());
  Detach();  // E_FAIL when there was no bar
  return S_OK;
}

HRESULT CVelCloudExplorerInjectObj::Revalidate() {
  if (!initialized_ || account_.syncFolder.empty()) return E_FAIL;
  if (tearingDown_ || changingBar_) return E_PENDING;
  ViewWindows t;
  const bool found = BarPlacement::FindFast(shellBrowser_.Get(), &t);
  const DWORD now = ::GetTickCount();
  if (!found) {
    // Timer 1000 checks again in 300 ms.
    lastRevalidateTick_ = now - (kRevalidatePeriodMs - kRevalidateRetryMs);
    return E_PENDING;
  }
  lastRevalidateTick_ = now;
  const ViewWindows& current = placement_.windows();
  const bool stillRight = attached_ && Exists(t.parent) && Exists(t.view) && Exists(t.items) &&
                          t.parent == current.parent && t.view == current.view && BarExists() &&
                          ::GetParent(bar_->window()) == t.parent;
  if (!stillRight) {
    const HRESULT hr = Attach(&t);
    if (FAILED(hr)) {
      StartAttachRetry();
      return hr;
    }
    ShowBar();
    return S_OK;
  }
  if (t.items != current.items) {
    // The view rebuilt its items window: watch the new one and look at its selection afresh.
    placement_.StopWatch();
    placement_.SetItems(t.items);
    selection_.Reset();
    placement_.StartWatch();
    selection_.Post(m_hWnd);
  } else if (selection_.unreported()) {
    selection_.Post(m_hWnd);  // the application did not take the last report: once more now
  }
  if (!ExternalWindowInBar()) {
    if (BarMayShow() && placement_.WindowsExist()) placement_.ShowBar(bar_->window(), true);
    sender_.Revalidated(RecordTarget(), now);
    return S_OK;
  }
  if (BarMayShow()) Layout(true, true);
  return S_OK;
}

void CVelCloudExplorerInjectObj::OnTimer(UINT_PTR id) {
  if (tearingDown_) return;
  if (id == kAttachRetryTimer) {
    OnAttachRetryTick();
  } else if (id == kWatchTimer) {
    OnWatchTick();
  }
}

void CVelCloudExplorerInjectObj::OnAttachRetryTick() {
  if (account_.syncFolder.empty()) {
    // The account was taken away while the retries ran: there is no bar to put up.
    ::KillTimer(m_hWnd, kAttachRetryTimer);
    return;
  }
  ViewWindows t;
  if (BarPlacement::FindFast(shellBrowser_.Get(), &t) && SUCCEEDED(Attach(&t))) {
    ShowBar();  // Attach ended the retries
    return;
  }
  if (--attachRetriesLeft_ < 0) ::KillTimer(m_hWnd, kAttachRetryTimer);
}

void CVelCloudExplorerInjectObj::OnWatchTick() {
  const DWORD now = ::GetTickCount();
  if (placement_.WindowsExist() && BarExists() && now - lastRevalidateTick_ < kRevalidatePeriodMs) {
    const bool hadExternal = bar_->ExternalWindow() != nullptr;
    const bool external = ExternalWindowInBar();
    if (hadExternal && !external && account_.loggedIn != 0) {
      // The application's window left a logged-in bar: the bar hides and the view gets its height back.
      Layout(true, true);
    } else if (BarMayShow()) {
      // Follows a resize of the pane, whichever face the bar shows; for its own face Layout also
      // runs the resend step. The switch at 0 keeps the bar hidden.
      Layout(true, false);
    } else if (!external) {
      sender_.ResendIfDue(RecordTarget(), now);
    }
    return;
  }
  Revalidate();  // its failures are retried by this timer or by timer 1001
}

}  // namespace quillan
