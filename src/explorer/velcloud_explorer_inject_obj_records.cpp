// The host object's answers to the application's records (33769 and the others the host window
// takes) and to the bar's login request, and its selection reports.
#include "explorer/velcloud_explorer_inject_obj.h"

#include "explorer/explorer_band.h"
#include "ipc/main_window.h"

namespace quillan {

namespace {

// Window coordinates beyond this are meaningless to the system; a bar height above it is refused.
constexpr uint32_t kMaxBarHeight = 32767;

bool Exists(HWND window) { return window && ::IsWindow(window); }

}  // namespace

void CVelCloudExplorerInjectObj::OnAdoptWindow(const WindowRecord& record) {
  HWND window = WindowFromWire(record.window);
  if (!Matches(record.key) || !Exists(window) || !BarExists() || ::GetParent(window) != bar_->window()) return;
  bar_->AttachExternalWindow(window);
  if (ExternalWindowInBar()) {
    sender_.Settle(::GetTickCount());
    ShowBar();
  }
  if (Exists(savedFocus_)) ::SetFocus(savedFocus_);
  if (!worker_.Serves(record.key.userId, record.key.enterpriseId)) {
    worker_.Start(m_hWnd, record.key.userId, record.key.enterpriseId);  // without a thread the list stays
  }
  selection_.Reset();
  selection_.Post(m_hWnd);
}

void CVelCloudExplorerInjectObj::OnVisibility(const VisibilityRecord& record) {
  if (record.show != 0 && account_.loggedIn != 0 && !ExternalWindowInBar()) {
    // A logged-in bar has nothing to show without the application's window.
    if (BarExists()) ::ShowWindow(bar_->window(), SW_HIDE);
    return;
  }
  SetBarVisible(record.show != 0, true);  // E_FAIL without a bar: nothing to show or hide
}

void CVelCloudExplorerInjectObj::OnCloseExplorer() {
  // Posted: the Explorer window closes after the sender has its answer.
  if (HWND frame = FrameWindow()) ::PostMessageW(frame, WM_SYSCOMMAND, SC_CLOSE, 0);
}

void CVelCloudExplorerInjectObj::OnAccountChanged(const AccountKey& key) {
  if (changingBar_) {
    // The refresh would change the bar inside the change under way: it follows once that is done.
    pendingAccountKey_ = key;
    accountChangedPending_ = true;
    ::PostMessageW(m_hWnd, WM_HOST_ACCOUNTCHANGED, 0, 0);
    return;
  }
  RefreshForAccount(key);
}

void CVelCloudExplorerInjectObj::RefreshForAccount(const AccountKey& key) {
  if (band_) band_->Refresh(account_.loggedIn == 0);
  // The account may have changed under the refresh; the record names the one it is about.
  if (Matches(key) && BarExists()) sender_.SendNow(RecordTarget());
}

void CVelCloudExplorerInjectObj::OnAccountAction(const AccountActionRecord& record) {
  if (!Matches(record.key)) return;
  switch (record.action) {
    case kActionMaximize:
      if (HWND frame = FrameWindow()) ::PostMessageW(frame, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
      break;
    case kActionRefreshView: {
      ComPtr<IShellView> view;
      if (shellBrowser_ && SUCCEEDED(shellBrowser_->QueryActiveShellView(view.Put())) && view) {
        view->Refresh();  // a view that cannot refresh stays as it is
      }
      break;
    }
    case kActionSetBarHeight:
      // A height below zero or beyond any screen is no height; the bar keeps its own.
      if (record.argument > kMaxBarHeight) break;
      placement_.SetHeight(static_cast<int32_t>(record.argument));
      ShowBar();
      break;
    default:
      break;
  }
}

void CVelCloudExplorerInjectObj::OnRequestSelectedFiles(const WindowRecord& record) {
  if (!Matches(record.key) || !bar_) return;
  HWND external = bar_->ExternalWindow();
  if (!Exists(external) || external != WindowFromWire(record.window)) return;
  std::vector<std::wstring> paths;
  QuerySelection(shellBrowser_.Get(), &paths);
  // A list too long for one record (or no memory for it) is not sent.
  SendToMain(BuildSelectedFilesReply(record.key.userId, record.key.enterpriseId, record.window, paths));
}

void CVelCloudExplorerInjectObj::OnRequestSelection(const WindowRecord& record) {
  // Posted: the selection goes out after the requester has its answer.
  if (Matches(record.key) && Exists(m_hWnd)) ::PostMessageW(m_hWnd, WM_HOST_SENDSELECTION, 0, 0);
}

void CVelCloudExplorerInjectObj::OnBandLogin(HWND barWindow) {
  if (tearingDown_ || !bar_ || barWindow != bar_->window()) return;  // a retired bar asks for nothing
  // Without the application, this starts it for the login.
  sender_.Login(RecordTarget());
}

void CVelCloudExplorerInjectObj::CheckSelection() {
  if (tearingDown_) return;
  selection_.Check(SelectionReporter::Context{shellBrowser_.Get(), FrameWindow(), account_.userId,
                                              account_.enterpriseId, worker_.list()});
}

void CVelCloudExplorerInjectObj::SendSelection() {
  const std::vector<std::wstring>& paths = selection_.selectedPaths();
  if (paths.empty() || tearingDown_) return;
  SendToMain(BuildShareRecord(FrameWindow(), paths));  // a list too long for one record is not sent
}

}  // namespace quillan
