// The host object of one Explorer window, embedded in the window's band. It owns a hidden top-level
// window (the host window), where the desktop application's records and the bar's requests arrive,
// and coordinates the parts that keep the bar right: where the bar sits (BarPlacement), when its
// record goes out (BarRecordSender), what the application hears of the selection
// (SelectionReporter), and the thread that keeps the non-synced folder list fresh (NonSyncedWorker).
// Everything but that thread runs on the Explorer window's UI thread.
//
// Nothing here waits on the application for long: every send is bounded (and refused at once to an
// application the system counts as hung), and a bar that holds a window of the application is handed
// to RetiredBars rather than destroyed while that window does not answer.
//
// Nothing of this object outlives it: Uninit (run by SetSite(null) and by the destructor) removes the
// subclasses, takes the bar away, destroys the host window (with its timers) and stops and joins the
// worker thread.
#pragma once

#include <windows.h>

#include <shobjidl.h>

#include <cstdint>
#include <memory>
#include <string>

#include "base/com_ptr.h"
#include "base/window_impl_base.h"
#include "config/account_entry.h"
#include "explorer/band_host.h"
#include "explorer/bar_placement.h"
#include "explorer/bar_record_sender.h"
#include "explorer/host_records.h"
#include "explorer/non_synced_worker.h"
#include "explorer/selection_reporter.h"
#include "ui/top_band.h"

namespace quillan {

class CExplorerBand;

// Private messages of the host window, besides WM_BAND_LOGIN (0x1400) from the bar and
// WM_HOST_CHECKSELECTION (0x1401). All carry wParam 0 and lParam 0.
constexpr UINT WM_HOST_SENDSELECTION = 0x1402;  // from record 33793: send the selection as 33787
constexpr UINT WM_HOST_ACCOUNTCHANGED = 0x1403;  // record 33775 that came while the bar was changing

class CVelCloudExplorerInjectObj : public CWindowImplBase,
                                   public BandHost,
                                   private HostRecordTarget,
                                   private BarPlacement::Owner {
 public:
  static constexpr UINT_PTR kWatchTimer = 1000;  // health check, resend schedule, revalidation
  static constexpr UINT_PTR kAttachRetryTimer = 1001;
  static constexpr UINT kTimerPeriodMs = 200;
  static constexpr int32_t kAttachRetries = 5;  // six failed ticks in all
  static constexpr DWORD kRevalidatePeriodMs = 3000;
  static constexpr DWORD kRevalidateRetryMs = 300;  // after a failed check of the bar's place

  // band: the band that embeds this object (for Refresh; may be null); appDataRoot: the folder
  // holding the desktop application's configuration trees.
  CVelCloudExplorerInjectObj(CExplorerBand* band, std::wstring appDataRoot);
  ~CVelCloudExplorerInjectObj() override;

  BOOL ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

  // BandHost.
  HRESULT Init(IUnknown* site) override;
  HRESULT UpdateAccount(bool show, const AccountEntry& account) override;
  // Re-checks the bar's place from the active view (E_PENDING when the view cannot be found now)
  // and attaches it again where it no longer fits.
  HRESULT Revalidate() override;
  const std::wstring& AccountUserId() const override { return account_.userId; }
  const std::wstring& AccountEnterpriseId() const override { return account_.enterpriseId; }

  // Takes the bar away, destroys the host window, lets go of the shell browser, signals the presence
  // event and stops the worker thread. E_FAIL when not initialised.
  HRESULT Uninit();

  HWND BarWindow() const override { return bar_ ? bar_->window() : nullptr; }

 private:
  // HostRecordTarget.
  void OnAdoptWindow(const WindowRecord& record) override;
  void OnVisibility(const VisibilityRecord& record) override;
  void OnCloseExplorer() override;
  void OnAccountChanged(const AccountKey& key) override;
  void OnAccountAction(const AccountActionRecord& record) override;
  void OnRequestSelectedFiles(const WindowRecord& record) override;
  void OnRequestSelection(const WindowRecord& record) override;
  // BarPlacement::Owner.
  void OnItemsInput() override;

  // The Explorer frame: the root ancestor of the active shell view's window; null when there is none.
  HWND FrameWindow() const;
  // Creates the bar (hidden) for the given windows, or for those the full search finds, and tells the
  // application that it exists. E_FAIL when the windows are not there.
  HRESULT Attach(const ViewWindows* windows);
  HRESULT Detach();
  // Takes the bar away without waiting on a window of the application inside it.
  void RetireBar();
  void AttachOrRetry(const ViewWindows* windows);
  void StartAttachRetry();
  // Shows the bar across the top of the pane, or hides it and gives the view its full height back.
  // 1 when the windows exist, else 0.
  int Layout(bool show, bool force);
  // The one test of whether the bar may show: the switch is on, the bar is attached, and a logged-in
  // bar holds the application's window.
  bool BarMayShow();
  // Layout(true, true) when the bar may show, and the watch after it.
  void ShowBar();
  void HideBar();
  void StartWatch();
  void StopWatch();
  HRESULT SetBarVisible(bool show, bool force);
  bool BarExists() const { return bar_ && bar_->IsWindow(); }
  bool ExternalWindowInBar() { return bar_ && bar_->CheckExternalWindow(); }
  bool BarSwitchOn() const;
  bool Matches(const AccountKey& key) const { return key.Matches(account_.userId, account_.enterpriseId); }
  BarRecordTarget RecordTarget() const { return BarRecordTarget{m_hWnd, BarWindow(), account_}; }

  void OnTimer(UINT_PTR id);
  void OnAttachRetryTick();
  void OnWatchTick();
  void OnBandLogin(HWND barWindow);
  void CheckSelection();
  void SendSelection();
  void RefreshForAccount(const AccountKey& key);

  CExplorerBand* band_;
  ComPtr<IShellBrowser> shellBrowser_;
  AccountEntry account_;  // the account shown; all empty when none
  std::unique_ptr<CTopBand> bar_;
  BarPlacement placement_;
  BarRecordSender sender_;
  SelectionReporter selection_;
  NonSyncedWorker worker_;
  bool initialized_ = false;
  bool attached_ = false;
  int32_t attachRetriesLeft_ = 0;
  DWORD lastRevalidateTick_ = 0;
  HWND savedFocus_ = nullptr;
  // Uninit has begun: records are answered but no longer acted on.
  bool tearingDown_ = false;
  // Attach or Detach is under way (a send inside it lets other records in): no nested Attach.
  bool changingBar_ = false;
  // Record 33775 that came while the bar was changing, handled once the change is done.
  bool accountChangedPending_ = false;
  AccountKey pendingAccountKey_;
};

}  // namespace quillan
