// The band on a stand-in Explorer window in this process (its decisions as a recording host sees them,
// its references, the quit notice, its host window), and the DLL in stand-in Explorer processes (loaded
// by class as Explorer does, and closed by the maintenance export).
#include <exdisp.h>
#include <exdispid.h>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "base/com_ptr.h"
#include "com_test_support.h"
#include "account_files.h"
#include "desktop_app_driver.h"
#include "explorer/explorer_band.h"
#include "explorer/host_window_class.h"
#include "explorer_frame.h"
#include "explorer_driver.h"
#include "ipc/records.h"
#include "standin_output.h"
#include "test_support.h"

namespace quillan {
namespace {

using Calls = std::vector<std::wstring>;
using standin::StandinWebBrowser;
using test::StandinRecord;

// Writes down every call as one line: "show|hide" and the fields in the order given, or the name.
class RecordingHost final : public BandHost {
 public:
  HRESULT Init(IUnknown* site) override { return Add(site ? L"Init site" : L"Init null"); }
  HRESULT UpdateAccount(bool show, const AccountEntry& a) override {
    if (!show) return Add(L"hide |||||||0");
    return Add(L"show " + a.syncFolder + L"|" + a.userId + L"|" + a.enterpriseId + L"|" + a.userName + L"|" + a.nickname +
               L"|" + a.enterpriseName + L"|" + a.avatarImage + L"|" + std::to_wstring(a.loggedIn));
  }
  HRESULT Revalidate() override { return Add(L"Revalidate"); }
  const std::wstring& AccountUserId() const override { return none_; }
  const std::wstring& AccountEnterpriseId() const override { return none_; }
  Calls Take() { return std::exchange(calls_, {}); }

 private:
  HRESULT Add(std::wstring call) {
    calls_.push_back(std::move(call));
    return S_OK;
  }
  Calls calls_;
  std::wstring none_;
};

// The quit notice as the application must receive it: 2316 bytes, the ids in their fields, action 2.
std::vector<uint8_t> QuitNotice(const std::wstring& uid, const std::wstring& eid) {
  std::vector<uint8_t> bytes(2316, 0);
  std::memcpy(&bytes[0], uid.data(), uid.size() * 2);
  std::memcpy(&bytes[64], eid.data(), eid.size() * 2);
  bytes[264] = 2;
  return bytes;
}

class ExplorerBandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    standin::StandinOutput::Instance().SetQuiet(true);
    standin::FrameOptions options;
    options.band = standin::BandLoad::None;
    options.show = false;
    frame_ = std::make_unique<standin::ExplorerFrame>(options);
    ASSERT_TRUE(frame_->Create());
    // Account A in the sync tree (not logged in), account B in the profile tree (logged in).
    syncA_ = Folder(L"Sync A");
    test::MakeDirs(syncA_ + L"\\docs");
    tree_.AddSyncAccount({L"u1", L"e1", syncA_, L"user-a", L"Nick A", L"Ent A", L"C:\\a.png"});
    syncB_ = Folder(L"Root B\\Sync B");
    tree_.AddProfileAccount({L"u2", L"e2", syncB_, L"user-b", L"Nick B", L"Ent B", L"C:\\b.png"});
    outside_ = Folder(L"Elsewhere");
    showA_ = L"show " + syncA_ + L"|u1|e1|user-a|Nick A|Ent A|C:\\a.png|0";
    showB_ = L"show " + syncB_ + L"|u2|e2|user-b|Nick B|Ent B|C:\\b.png|1";
  }

  // host null: the band's own host object.
  ComPtr<CExplorerBand> MakeBand(BandHost* host) {
    ComPtr<CExplorerBand> band;
    EXPECT_EQ(CExplorerBand::Create(&band, host, tree_.root()), S_OK);
    if (band) band->SetSite(frame_->Site());
    return band;
  }
  void Navigate(const std::wstring& path) { frame_->NavigateTo(path, true, std::wstring()); }
  StandinWebBrowser* browser() { return frame_->webBrowser(); }
  size_t Sinks() { return browser()->events().SinkCount(); }

  std::wstring Folder(const std::wstring& relative) {
    test::MakeDirs(dir_ / relative);
    return dir_ / relative;
  }
  test::TempDir dir_;
  test::AccountFiles tree_{dir_.path(), false};
  std::unique_ptr<standin::ExplorerFrame> frame_;
  std::wstring syncA_, syncB_, outside_, showA_, showB_;
  const std::wstring hide_ = L"hide |||||||0";
};

TEST_F(ExplorerBandTest, TellsTheHostWhenTheFolderEntersChangesOrLeavesAnAccount) {
  RecordingHost host;
  ComPtr<CExplorerBand> band = MakeBand(&host);
  ASSERT_TRUE(band);
  EXPECT_EQ(host.Take(), Calls{L"Init site"});
  Navigate(outside_);  // no bar was wanted: nothing to take away
  EXPECT_EQ(host.Take(), Calls{});
  Navigate(syncA_);
  EXPECT_EQ(host.Take(), Calls{showA_});
  Navigate(syncA_ + L"\\docs");
  EXPECT_EQ(host.Take(), Calls{L"Revalidate"});

  // A URL that is null or missing, a command-state change and events the band does not follow.
  EXPECT_EQ(browser()->FireNavigateComplete2(std::wstring(), StandinWebBrowser::UrlForm::NullText), 1);
  EXPECT_EQ(browser()->FireNavigateComplete2(std::wstring(), StandinWebBrowser::UrlForm::Empty), 1);
  EXPECT_EQ(browser()->FireCommandStateChange(CSC_NAVIGATEBACK, true), 1);
  EXPECT_EQ(browser()->FireWithoutArguments(DISPID_DOWNLOADBEGIN), 1);
  Navigate(syncA_);  // still account A
  EXPECT_EQ(host.Take(), Calls{L"Revalidate"});

  Navigate(syncB_);
  EXPECT_EQ(host.Take(), Calls{showB_});
  Navigate(outside_);
  EXPECT_EQ(host.Take(), Calls{hide_});
  Navigate(Folder(L"Elsewhere too"));
  EXPECT_EQ(host.Take(), Calls{});
  Navigate(syncB_);  // back into the account it left
  EXPECT_EQ(host.Take(), Calls{showB_});
}

TEST_F(ExplorerBandTest, ARefreshReloadsTheAccountsAndAForcedOneRebuildsOrRemovesTheBar) {
  RecordingHost host;
  ComPtr<CExplorerBand> band = MakeBand(&host);
  ASSERT_TRUE(band);
  Navigate(syncA_);
  host.Take();
  band->Refresh(true);
  EXPECT_EQ(host.Take(), Calls{showA_});
  band->Refresh(false);
  EXPECT_EQ(host.Take(), Calls{L"Revalidate"});
  Navigate(outside_);
  band->Refresh(true);
  band->Refresh(false);
  EXPECT_EQ(host.Take(), (Calls{hide_, hide_}));
  // An account made for this folder meanwhile is found without a navigation.
  tree_.AddSyncAccount({L"u3", L"e3", outside_});
  band->Refresh(false);
  EXPECT_EQ(host.Take(), Calls{L"show " + outside_ + L"|u3|e3|||||0"});
  band->SetSite(nullptr);
  host.Take();
  band->Refresh(true);  // no browser
  EXPECT_EQ(host.Take(), Calls{});
}

TEST_F(ExplorerBandTest, OnQuitSendsTheQuitNoticeOnceWhenTheHostShowsAnAccount) {
  test::DesktopAppStandin app;
  ASSERT_TRUE(app.Start());
  ComPtr<CExplorerBand> band = MakeBand(nullptr);
  ASSERT_TRUE(band);
  Navigate(syncA_);
  EXPECT_EQ(browser()->FireOnQuit(), 1);
  auto notices = app.Records(to_main::kAccountAction);
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0].payload, QuitNotice(L"u1", L"e1"));
  band->SetSite(nullptr);

  // The account left before the quit: no ids, no notice.
  band = MakeBand(nullptr);
  Navigate(syncB_);
  Navigate(outside_);
  EXPECT_EQ(browser()->FireOnQuit(), 1);
  EXPECT_EQ(app.Records(to_main::kAccountAction).size(), 1u);
  band->SetSite(nullptr);

  // No application: the browser is let go all the same.
  app.Stop();
  band = MakeBand(nullptr);
  Navigate(syncA_);
  EXPECT_EQ(browser()->FireOnQuit(), 1);
  EXPECT_EQ(Sinks(), 0u);
}

BOOL CALLBACK CollectHostWindow(HWND window, LPARAM list) {
  wchar_t name[64] = {};
  if (::GetClassNameW(window, name, 64) && std::wstring(name) == kHostWindowClass) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
  }
  return TRUE;
}

std::vector<HWND> ThreadHostWindows() {
  std::vector<HWND> found;
  ::EnumThreadWindows(::GetCurrentThreadId(), &CollectHostWindow, reinterpret_cast<LPARAM>(&found));
  return found;
}

LRESULT SendCopyData(HWND window, DWORD code, const void* data, DWORD size) {
  COPYDATASTRUCT record = {code, size, const_cast<void*>(data)};
  return ::SendMessageW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&record));
}

TEST_F(ExplorerBandTest, TheHostWindowLivesFromSetSiteToSetSiteNullAndAnswersTheProbe) {
  UniqueHandle presence(::CreateEventW(nullptr, FALSE, FALSE, kHostPresenceEventName));
  ASSERT_TRUE(presence);
  ComPtr<CExplorerBand> band = MakeBand(nullptr);
  ASSERT_TRUE(band);
  std::vector<HWND> hosts = ThreadHostWindows();
  ASSERT_EQ(hosts.size(), 1u);
  EXPECT_EQ(static_cast<DWORD>(::GetWindowLongPtrW(hosts[0], GWL_STYLE)), 0x86000000u);
  EXPECT_EQ(::GetClassLongPtrW(hosts[0], GCL_STYLE), static_cast<ULONG_PTR>(CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS));
  EXPECT_EQ(::GetClassLongPtrW(hosts[0], GCLP_HBRBACKGROUND), static_cast<ULONG_PTR>(COLOR_WINDOW + 1));
  const uint32_t answered[3] = {1, 2, 0};
  const uint32_t refused[3] = {0, 0, 3};
  EXPECT_EQ(SendCopyData(hosts[0], to_host::kProbe, answered, 12), 1);
  EXPECT_EQ(SendCopyData(hosts[0], to_host::kProbe, refused, 12), 0);
  EXPECT_EQ(SendCopyData(hosts[0], to_host::kProbe, answered, 11), 0);

  band->SetSite(frame_->Site());  // set up again: a new window, the old one gone, the workers woken
  ASSERT_EQ(ThreadHostWindows().size(), 1u);
  EXPECT_FALSE(::IsWindow(hosts[0]));
  EXPECT_EQ(::WaitForSingleObject(presence.get(), 0), WAIT_OBJECT_0);
  band->SetSite(nullptr);
  EXPECT_TRUE(ThreadHostWindows().empty());
  EXPECT_EQ(::WaitForSingleObject(presence.get(), 0), WAIT_OBJECT_0);
  EXPECT_EQ(::WaitForSingleObject(presence.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));  // one signal each
}

TEST(BandEndToEnd, ExplorerLoadsTheRegisteredBandWhichFollowsNavigationsAndLeavesCleanly) {
  struct Registration {
    ~Registration() { test::RunRegsvr32(L"/u"); }  // a failure leaves keys no later test relies on
  } registration;
  ASSERT_EQ(test::RunRegsvr32(L""), 0u);
  // The application's sync tree in the prefix's own AppData, where the band in the other process looks.
  const std::wstring appData = GetSpecialFolder(26);
  ASSERT_FALSE(appData.empty() || test::FileExists(appData + L"\\VelQuillan")) << "the application's own tree";
  struct Cleanup {
    std::wstring folder;
    ~Cleanup() { test::RemoveTree(folder); }
  } cleanup{appData + L"\\VelQuillan"};
  test::TempDir folders;
  const std::wstring sync = folders / L"Sync 同步";
  const std::wstring outside = folders / L"Elsewhere";
  ASSERT_TRUE(test::MakeDirs(sync + L"\\docs") && test::MakeDirs(outside));
  test::AccountFiles(appData, false).AddSyncAccount({L"uid-7", L"eid-9", sync});
  test::DesktopAppStandin app;
  ASSERT_TRUE(app.Start());

  // Window 1 ends inside the account, window 2 has left it before the quit.
  test::ExplorerStandin explorer;
  ASSERT_TRUE(explorer.Start({L"navigate \"" + sync + L"\"; navigate docs; new-window --path=\"" + sync +
                                  L"\"; navigate \"" + outside + L"\"; window 1; quit; window 2; quit",
                              {L"--hidden"}}));
  ASSERT_TRUE(explorer.WaitExit(60000)) << explorer.Log();
  EXPECT_EQ(explorer.ExitCode(), 0u) << explorer.Log();
  auto bands = explorer.Records(L"band");
  ASSERT_EQ(bands.size(), 2u) << explorer.Log();
  for (const StandinRecord& band : bands) {
    EXPECT_EQ(band.Text(L"source") + band.Text(L"create") + band.Text(L"setsite"), L"com0x000000000x00000000");
  }
  auto navigations = explorer.Records(L"navigate");
  ASSERT_EQ(navigations.size(), 4u) << explorer.Log();
  for (const StandinRecord& navigation : navigations) EXPECT_EQ(navigation.Number(L"sinks"), 1);
  auto quits = explorer.Records(L"quit");
  ASSERT_EQ(quits.size(), 2u) << explorer.Log();
  for (const StandinRecord& quit : quits) {
    EXPECT_EQ(quit.Number(L"onquit-sinks"), 1);
    EXPECT_EQ(quit.Text(L"setsite-null") + L" " + quit.Text(L"band-release"), L"0x00000000 0");
    EXPECT_EQ(quit.Number(L"sinks-left"), 0);
    EXPECT_EQ(quit.Number(L"leaked-refs"), 0);
  }
  auto notices = app.Records(to_main::kAccountAction);
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0].payload, QuitNotice(L"uid-7", L"eid-9"));
}

}  // namespace
}  // namespace quillan
