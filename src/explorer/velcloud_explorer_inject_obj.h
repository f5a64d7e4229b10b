// The host object of one Explorer window, embedded in the window's band. It owns a hidden top-level
// window (the host window), which is where the desktop application's records and the bar's requests
// arrive, finds the Explorer windows the bar needs, creates the bar (CTopBand) above the folder view
// and keeps it there, and reports the Explorer selection to the application. Everything but the
// worker thread runs on the Explorer window's UI thread.
//
// Built so far: construction, Init/Uninit with the host window and the presence event, FrameWindow,
// WM_CREATE, WM_DESTROY and the records 33774 (close the Explorer window) and 33789 (probe), and the
// account entry points the band calls, which so far only keep the account. The members marked "to be
// completed" below are declared with their final signatures and not yet defined.
#pragma once

#include <windows.h>

#include <commctrl.h>
#include <shobjidl.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/com_ptr.h"
#include "base/handle.h"
#include "base/window_impl_base.h"
#include "config/non_synced_folder_list.h"
#include "explorer/band_host.h"
#include "explorer/host_window_class.h"
#include "ipc/records.h"
#include "ui/top_band.h"

namespace quillan {

class CExplorerBand;

// Private messages of the host window, besides WM_BAND_LOGIN (0x1400) from the bar (ui/top_band.h).
// Both carry wParam 0 and lParam 0.
constexpr UINT WM_HOST_CHECKSELECTION = 0x1401;  // from the items window's input, Revalidate, adoption
constexpr UINT WM_HOST_SENDSELECTION = 0x1402;   // from record 33793: send the selection as 33787

// The three windows of an Explorer window the bar lives with.
struct ViewWindows {
  HWND parent = nullptr;  // the pane holding the folder view; the bar is its child, across its top
  HWND view = nullptr;    // the folder view (SHELLDLL_DefView), pushed down by the bar's height
  HWND items = nullptr;   // the items window, whose input reveals selection changes
};

class CVelCloudExplorerInjectObj : public CWindowImplBase, public BandHost {
 public:
  static constexpr int32_t kBarDesignHeight = 39;  // at 96 DPI
  static constexpr UINT_PTR kWatchTimer = 1000;    // health check, resend schedule, revalidation
  static constexpr UINT_PTR kAttachRetryTimer = 1001;
  static constexpr UINT kTimerPeriodMs = 200;
  static constexpr DWORD kHostWindowStyle = WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
  static const WindowClassInfo kHostWindowClassInfo;

  // band: the band that embeds this object (for Refresh); appDataRoot: the folder holding the
  // desktop application's configuration trees.
  CVelCloudExplorerInjectObj(CExplorerBand* band, std::wstring appDataRoot);
  ~CVelCloudExplorerInjectObj() override;

  // The host window's message map (GetWindowProc is the framework's class procedure).
  BOOL ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  void OnFinalMessage(HWND window) override;

  // BandHost. Init: tears down, then with a site takes its shell browser (E_FAIL without one), creates
  // the host window, scales the bar height and opens the presence event.
  HRESULT Init(IUnknown* site) override;
  // To be completed: so far only keeps (show) or clears (hide) the account; E_FAIL before Init.
  HRESULT UpdateAccount(bool show, const std::wstring& accountSyncFolder, const std::wstring& accountUserId,
                        const std::wstring& accountEnterpriseId, const std::wstring& accountUserName,
                        const std::wstring& accountNickname, const std::wstring& accountEnterpriseName,
                        const std::wstring& accountAvatarImage, int32_t accountLoggedIn) override;
  // To be completed: E_FAIL before Init or without an account, otherwise E_NOTIMPL so far.
  HRESULT Revalidate() override;
  const std::wstring& AccountUserId() const override { return userId; }
  const std::wstring& AccountEnterpriseId() const override { return enterpriseId; }

  // Destroys the host window, lets go of the shell browser and signals the presence event. E_FAIL when
  // not initialised.
  HRESULT Uninit();
  // The Explorer frame: the root ancestor of the active shell view's window; null when there is none.
  HWND FrameWindow();
  // WM_COPYDATA from the desktop application (or the maintenance export).
  LRESULT OnCopyData(const COPYDATASTRUCT* record);

  HWND BarWindow() const { return bar.window(); }

  // ---- To be completed: the bar's placement, the records and the refresh (declared, not yet defined).
  HRESULT Attach(const ViewWindows* windows);  // null: FindViewWindows
  HRESULT Detach();
  void StartWatch();
  void StopWatch();
  int Layout(bool show, bool force);  // 1 when the windows exist, else 0
  HRESULT SetBarVisible(bool show, bool force);
  // Full search (Attach) or only the active view's fast path (Revalidate, timer 1001).
  bool FindViewWindows(ViewWindows* found);
  bool FindViewWindowsFast(ViewWindows* found);
  int SelectionQuery(std::vector<std::wstring>* paths);
  void CheckSelection();
  void AdoptApplicationWindow(const WindowRecord& record);
  void AccountAction(const AccountActionRecord& record);
  void ReplySelectedFiles(const WindowRecord& record);
  void OnTimer(UINT_PTR id);
  void ResendStep(DWORD now);
  static LRESULT CALLBACK ViewSubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                           UINT_PTR id, DWORD_PTR refData);
  static LRESULT CALLBACK ItemsSubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                            UINT_PTR id, DWORD_PTR refData);
  static DWORD WINAPI WorkerThreadProc(void* host);

  // ---- State. The worker thread touches only the non-synced list (under its lock), its two ids,
  // initialized, hostWindow and hostPresenceEvent.
  HWND hostWindow = nullptr;
  int32_t barHeight = kBarDesignHeight;
  std::wstring syncFolder;  // the account shown; all empty when none
  std::wstring userId;
  std::wstring enterpriseId;
  std::wstring userName;
  std::wstring nickname;
  std::wstring enterpriseName;
  std::wstring avatarImage;
  int32_t loggedIn = 0;
  ComPtr<IShellBrowser> shellBrowser;
  int32_t attachRetriesLeft = 0;
  int32_t resendIndex = 0;
  DWORD lastSendTick = 0;
  DWORD lastRevalidateTick = 0;
  bool attached = false;
  ViewWindows viewWindows;
  bool viewSubclassed = false;
  bool itemsSubclassed = false;
  RECT lastParentRect = {};
  CTopBand bar;
  CExplorerBand* band;
  HWND savedFocus = nullptr;
  int32_t lastSelectionCount = -1;  // -1: not yet known
  std::vector<std::wstring> selectedPaths;
  // nonSyncedFolders, listLock, threadUserId, threadEnterpriseId and the account's syncFolder copy.
  NonSyncedFolderList nonSynced;
  UniqueHandle hostPresenceEvent;
  bool initialized = false;
  UniqueHandle workerThread;

  // The previous selection kind, shared by every host object of the process (UI threads only).
  static int32_t SelectionKind;
};

}  // namespace quillan
