#include "explorer/velcloud_explorer_inject_obj.h"

#include <servprov.h>
#include <shlguid.h>

#include <utility>

#include "ui/dpi_scale.h"

namespace quillan {

const WindowClassInfo CVelCloudExplorerInjectObj::kHostWindowClassInfo = {
    kHostWindowClass, CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1), IDC_ARROW};

int32_t CVelCloudExplorerInjectObj::SelectionKind = 0;

CVelCloudExplorerInjectObj::CVelCloudExplorerInjectObj(CExplorerBand* owner, std::wstring appDataRoot)
    : band(owner), nonSynced(std::move(appDataRoot)) {}

CVelCloudExplorerInjectObj::~CVelCloudExplorerInjectObj() {
  Uninit();  // E_FAIL when Init never ran or Uninit already did: nothing to undo
}

void CVelCloudExplorerInjectObj::OnFinalMessage(HWND) {}

BOOL CVelCloudExplorerInjectObj::ProcessWindowMessage(HWND, UINT message, WPARAM, LPARAM lParam, LRESULT& result) {
  try {
    switch (message) {
      case WM_CREATE:
        result = 0;
        return TRUE;
      case WM_DESTROY:
        bar.DestroyWindow();  // false when there is no bar
        result = 0;
        return TRUE;
      case WM_COPYDATA:
        result = OnCopyData(reinterpret_cast<const COPYDATASTRUCT*>(lParam));
        return TRUE;
      // To be completed: WM_TIMER (timers 1000 and 1001), WM_BAND_LOGIN, WM_HOST_CHECKSELECTION and
      // WM_HOST_SENDSELECTION.
      default:
        return FALSE;
    }
  } catch (...) {  // no memory for a record: the message is answered as not handled by us
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
  return S_OK;
}

HRESULT CVelCloudExplorerInjectObj::Uninit() {
  if (!initialized) return E_FAIL;
  DestroyWindow();  // false when the window is already gone
  hostWindow = nullptr;
  shellBrowser = nullptr;
  initialized = false;
  // Wakes a worker waiting on the event so that it notices the window is gone.
  UniqueHandle event(::OpenEventW(EVENT_ALL_ACCESS, FALSE, kHostPresenceEventName));
  if (event) ::SetEvent(event.get());  // no event: no worker can be waiting on it
  return S_OK;
}

HWND CVelCloudExplorerInjectObj::FrameWindow() {
  if (!shellBrowser) return nullptr;
  ComPtr<IShellView> view;
  if (FAILED(shellBrowser->QueryActiveShellView(view.Put())) || !view) return nullptr;
  HWND window = nullptr;
  if (FAILED(view->GetWindow(&window)) || !window || !::IsWindow(window)) return nullptr;
  HWND root = ::GetAncestor(window, GA_ROOT);
  return (root && ::IsWindow(root)) ? root : nullptr;
}

LRESULT CVelCloudExplorerInjectObj::OnCopyData(const COPYDATASTRUCT* record) {
  if (!record || !IsAcceptedByHost(*record)) return 0;
  switch (record->dwData) {
    case to_host::kCloseExplorer:
      // Posted: the Explorer window closes after the sender has its answer.
      if (HWND frame = FrameWindow()) ::PostMessageW(frame, WM_SYSCOMMAND, SC_CLOSE, 0);
      return 0;
    case to_host::kProbe: {
      ProbeRecord probe;
      if (!ParseProbeRecord(record->lpData, record->cbData, &probe)) return 0;
      return probe.third == 0 ? 1 : 0;
    }
    // To be completed: 33769 (AdoptApplicationWindow), 33771 and 33772 (visibility), 33775 (band
    // Refresh, then the bar record), 33782 (AccountAction), 33783 (ReplySelectedFiles), 33793.
    default:
      return 0;
  }
}

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
    // To be completed: Attach (retried by timer 1001 when it fails) and, for the bar's own login
    // face, Layout and StartWatch.
    return S_OK;
  }
  // To be completed: when attached, stop timer 1000, StopWatch and give the view its height back;
  // then Detach.
  syncFolder.clear();
  userId.clear();
  enterpriseId.clear();
  userName.clear();
  nickname.clear();
  enterpriseName.clear();
  avatarImage.clear();
  loggedIn = 0;
  nonSynced.syncFolder.clear();
  return S_OK;
}

HRESULT CVelCloudExplorerInjectObj::Revalidate() {
  if (!initialized || syncFolder.empty()) return E_FAIL;
  // To be completed: the fast path of FindViewWindows and the re-check of the bar's place.
  return E_NOTIMPL;
}

}  // namespace quillan
