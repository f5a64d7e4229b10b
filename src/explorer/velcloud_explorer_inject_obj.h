// The host object of one Explorer window, embedded in the window's band. It owns a hidden top-level
// window (the host window), which is where the desktop application's records and the bar's requests
// arrive, finds the Explorer windows the bar needs, creates the bar (CTopBand) above the folder view
// and keeps it there, and reports the Explorer selection to the application. Everything but the
// worker thread runs on the Explorer window's UI thread.
//
// Nothing of this object outlives it: Uninit (run by SetSite(null) and by the destructor) removes the
// subclasses, destroys the bar and the host window (with its timers) and stops and joins the worker
// thread, so that the module may be unloaded once the last object is gone.
#pragma once

#include <windows.h>

#include <commctrl.h>
#include <shobjidl.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "base/com_ptr.h"
#include "base/handle.h"
#include "base/window_impl_base.h"
#include "config/non_synced_folder_list.h"
#include "explorer/band_host.h"
#include "explorer/host_window_class.h"
#include "explorer/view_window_search.h"
#include "ipc/records.h"
#include "ui/top_band.h"

namespace quillan {

class CExplorerBand;

// Private messages of the host window, besides WM_BAND_LOGIN (0x1400) from the bar (ui/top_band.h).
// Both carry wParam 0 and lParam 0.
constexpr UINT WM_HOST_CHECKSELECTION = 0x1401;  // from the items window's input, Revalidate, adoption
constexpr UINT WM_HOST_SENDSELECTION = 0x1402;   // from record 33793: send the selection as 33787


class CVelCloudExplorerInjectObj : public CWindowImplBase, public BandHost {
 public:
  static constexpr int32_t kBarDesignHeight = 39;  // at 96 DPI
  static constexpr UINT_PTR kWatchTimer = 1000;    // health check, resend schedule, revalidation
  static constexpr UINT_PTR kAttachRetryTimer = 1001;
  static constexpr UINT kTimerPeriodMs = 200;
  static constexpr int32_t kAttachRetries = 5;     // six failed ticks in all
  static constexpr DWORD kRevalidatePeriodMs = 3000;
  static constexpr DWORD kRevalidateRetryMs = 300;  // after a failed check of the bar's place
  static constexpr DWORD kWorkerPeriodMs = 2000;
  static constexpr DWORD kHostWindowStyle = WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
  static const WindowClassInfo kHostWindowClassInfo;

  // band: the band that embeds this object (for Refresh; may be null); appDataRoot: the folder
  // holding the desktop application's configuration trees.
  CVelCloudExplorerInjectObj(CExplorerBand* band, std::wstring appDataRoot);
  ~CVelCloudExplorerInjectObj() override;

  // The host window's message map (GetWindowProc is the framework's class procedure).
  BOOL ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  void OnFinalMessage(HWND window) override;

  // BandHost. Init: tears down, then with a site takes its shell browser (E_FAIL without one), creates
  // the host window, scales the bar height and opens the presence event.
  HRESULT Init(IUnknown* site) override;
  // show: keeps the account and puts the bar up for it (retried by timer 1001 when the Explorer
  // windows are not there yet); otherwise takes the bar away and forgets the account.
  HRESULT UpdateAccount(bool show, const std::wstring& accountSyncFolder, const std::wstring& accountUserId,
                        const std::wstring& accountEnterpriseId, const std::wstring& accountUserName,
                        const std::wstring& accountNickname, const std::wstring& accountEnterpriseName,
                        const std::wstring& accountAvatarImage, int32_t accountLoggedIn) override;
  // Re-checks the bar's place from the active view (E_PENDING when the view cannot be found now)
  // and attaches it again where it no longer fits.
  HRESULT Revalidate() override;
  const std::wstring& AccountUserId() const override { return userId; }
  const std::wstring& AccountEnterpriseId() const override { return enterpriseId; }

  // Takes the bar away, destroys the host window, lets go of the shell browser, signals the presence
  // event and stops the worker thread. E_FAIL when not initialised (the worker is stopped anyway).
  HRESULT Uninit();
  // The Explorer frame: the root ancestor of the active shell view's window; null when there is none.
  HWND FrameWindow();
  // WM_COPYDATA from the desktop application (or the maintenance export).
  LRESULT OnCopyData(const COPYDATASTRUCT* record);

  HWND BarWindow() const { return bar.window(); }

  // Creates the bar (hidden) for the given windows, or for those the full search finds, and tells the
  // application that it exists. E_FAIL when the windows are not there.
  HRESULT Attach(const ViewWindows* windows);
  HRESULT Detach();
  // Subclasses the view and items windows and runs timer 1000.
  void StartWatch();
  void StopWatch();
  // Shows the bar across the top of the pane and pushes the view down, or hides it and gives the
  // view its full height back. 1 when the windows exist, else 0.
  int Layout(bool show, bool force);
  HRESULT SetBarVisible(bool show, bool force);
  // Full search (Attach) or only the active view's fast path (Revalidate, timer 1001).
  bool FindViewWindows(ViewWindows* found);
  bool FindViewWindowsFast(ViewWindows* found);
  // The selected items of the active view (CF_HDROP); their number, 0 on any failure.
  int SelectionQuery(std::vector<std::wstring>* paths);
  void CheckSelection();
  void AdoptApplicationWindow(const WindowRecord& record);
  void AccountAction(const AccountActionRecord& record);
  void ReplySelectedFiles(const WindowRecord& record);
  void OnTimer(UINT_PTR id);
  // Sends the bar record again when its interval (300, 1000, 3000, then 60000 ms) has passed.
  void ResendStep(DWORD now);
  // The bar switch of the configuration (read on every call).
  bool BarSwitchOn() const;
  static LRESULT CALLBACK ViewSubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                           UINT_PTR id, DWORD_PTR refData);
  static LRESULT CALLBACK ItemsSubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                            UINT_PTR id, DWORD_PTR refData);
  static DWORD WINAPI WorkerThreadProc(void* host);

  // ---- State. The worker thread touches only the non-synced list (under its lock), its two ids
  // (under the same lock), initialized, hostWindow, hostPresenceEvent and its stop signal.
  std::atomic<HWND> hostWindow{nullptr};
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
  std::atomic<bool> initialized{false};
  UniqueHandle workerThread;
  // Ends the worker at once, whatever it waits for (manual-reset, private to this object).
  UniqueHandle workerStopEvent;
  std::atomic<bool> workerStop{false};
  // Set by Init, cleared as soon as Uninit begins: no worker starts while the object is torn down.
  bool workersAllowed = false;

  // The previous selection kind, shared by every host object of the process (UI threads only).
  static int32_t SelectionKind;

 private:
  bool StartWorker(const std::wstring& threadUser, const std::wstring& threadEnterprise);
  // Stops the worker thread and waits for it (it never waits on this thread, so this is short).
  void StopWorker();
  void WorkerLoop();
  void OnBandLogin(HWND barWindow);
  void SendSelection();
  void OnVisibility(const VisibilityRecord& record);
  void OnAccountChanged(const AccountKey& key);
  int SendBarRecordNow(int launch);
  HWND Host() const { return hostWindow.load(); }
};

}  // namespace quillan
