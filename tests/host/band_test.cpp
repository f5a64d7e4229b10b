// The band on a stand-in Explorer window in this process: its decisions as a recording host sees them,
// its host window from SetSite to SetSite(null). (Its quit notice is the end-to-end test's.)
#include <exdisp.h>
#include <exdispid.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "config/sync_config.h"
#include "explorer/explorer_band.h"
#include "host_fixture.h"

namespace quillan {
namespace {

using Calls = std::vector<std::wstring>;
using standin::StandinWebBrowser;

// Writes down every call as one line: "show" and the fields in the order given, "hide", or the name.
class RecordingHost final : public BandHost {
 public:
  HRESULT Init(IUnknown* site) override { return Add(site ? L"Init site" : L"Init null"); }
  HRESULT UpdateAccount(bool show, const AccountEntry& a) override {
    return Add((show ? L"show " : L"hide ") + a.syncFolder + L"|" + a.userId + L"|" + a.enterpriseId + L"|" + a.userName + L"|" + a.nickname +
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

class BandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    frame_ = test::MakeFrame(standin::Layout::Vista);
    // A in the sync tree (not logged in) with a junction J; B in the profile tree (logged in); C and D
    // differ from A in the enterprise id or the user id alone.
    const test::AccountFiles::Account a = {L"u1", L"e1", Folder(L"A"), L"user-a", L"Nick A", L"Ent A", L"C:\\a.png"};
    ASSERT_TRUE(tree_.AddSyncAccount(a) && tree_.AddJunction(a, L"j", Folder(L"J")));
    tree_.AddProfileAccount({L"u2", L"e2", Folder(L"Root B\\B"), L"user-b", L"Nick B", L"Ent B", L"C:\\b.png"});
    tree_.AddSyncAccount({L"u1", L"e3", Folder(L"C"), L"user-a", L"", L"", L"C:\\a.png"});
    tree_.AddSyncAccount({L"u4", L"e1", Folder(L"D")});
  }

  std::wstring Folder(const std::wstring& relative) const {
    test::MakeDirs(dir_ / relative);
    return dir_ / relative;
  }
  ComPtr<CExplorerBand> MakeBand(BandHost* host) {  // host null: the band's own host object
    ComPtr<CExplorerBand> band;
    EXPECT_EQ(CExplorerBand::Create(&band, host, tree_.root()), S_OK);
    if (band) band->SetSite(frame_->Site());
    return band;
  }
  void Navigate(const std::wstring& relative) { frame_->NavigateTo(Folder(relative), true, std::wstring()); }
  StandinWebBrowser* browser() { return frame_->webBrowser(); }
  std::wstring Shown(const std::wstring& rest) const { return L"show " + (dir_ / rest); }

  test::TempDir dir_;
  test::AccountFiles tree_{dir_.path(), false};
  std::unique_ptr<standin::ExplorerFrame> frame_;
};

TEST_F(BandTest, TellsTheHostWhenTheFolderEntersChangesOrLeavesAnAccount) {
  RecordingHost host;
  ComPtr<CExplorerBand> band = MakeBand(&host);
  ASSERT_TRUE(band);
  EXPECT_EQ(host.Take(), Calls{L"Init site"});
  const std::wstring showA = Shown(L"A|u1|e1|user-a|Nick A|Ent A|C:\\a.png|0");
  const struct {
    const wchar_t* folder;
    Calls calls;
  } steps[] = {
      {L"Out", {}},  // no bar was wanted: nothing to take away
      {L"A", {showA}},
      {L"A\\docs", {L"Revalidate"}},
      {L"J", {Shown(L"J|u1|e1|user-a|Nick A|Ent A|C:\\a.png|0")}},  // the same ids in another sync folder
      {L"A", {showA}},
      {L"C", {Shown(L"C|u1|e3|user-a|||C:\\a.png|0")}},  // another enterprise id alone
      {L"D", {Shown(L"D|u4|e1|||||0")}},                 // another user id alone
      {L"Root B\\B", {Shown(L"Root B\\B|u2|e2|user-b|Nick B|Ent B|C:\\b.png|1")}},
      {L"Out", {L"hide |||||||0"}},
      {L"Out too", {}},
  };
  for (const auto& step : steps) {
    Navigate(step.folder);
    EXPECT_EQ(host.Take(), step.calls) << step.folder;
  }
  // A URL that is null or missing, a command-state change and events the band does not follow.
  Navigate(L"A");
  host.Take();
  EXPECT_EQ(browser()->FireNavigateComplete2(std::wstring(), StandinWebBrowser::UrlForm::NullText), 1);
  EXPECT_EQ(browser()->FireNavigateComplete2(std::wstring(), StandinWebBrowser::UrlForm::Empty), 1);
  EXPECT_EQ(browser()->FireCommandStateChange(CSC_NAVIGATEBACK, true), 1);
  EXPECT_EQ(browser()->FireWithoutArguments(DISPID_DOWNLOADBEGIN), 1);
  EXPECT_EQ(host.Take(), Calls{});

  // A refresh reloads the accounts; a forced one rebuilds or removes the bar whatever changed.
  band->Refresh(true);
  band->Refresh(false);
  EXPECT_EQ(host.Take(), (Calls{showA, L"Revalidate"}));
  tree_.AddSyncAccount({L"u1", L"e9", Folder(L"A"), L"user-a", L"Nick A", L"Ent A", L"C:\\a.png"});  // A changes hands
  band->Refresh(false);
  EXPECT_EQ(host.Take(), Calls{Shown(L"A|u1|e9|user-a|Nick A|Ent A|C:\\a.png|0")});
  Navigate(L"Out");
  band->Refresh(true);
  band->Refresh(false);
  EXPECT_EQ(host.Take(), (Calls{L"hide |||||||0", L"hide |||||||0"}));
  tree_.AddSyncAccount({L"u3", L"e3", Folder(L"Out")});  // made for this folder meanwhile
  band->Refresh(false);
  EXPECT_EQ(host.Take(), Calls{Shown(L"Out|u3|e3|||||0")});
  band->SetSite(nullptr);
  host.Take();
  band->Refresh(true);  // no browser
  EXPECT_EQ(host.Take(), Calls{});
}

TEST_F(BandTest, TheHostWindowLivesFromSetSiteToSetSiteNullAndAnswersTheProbe) {
  UniqueHandle presence(::CreateEventW(nullptr, FALSE, FALSE, L"Global\\{6E1FE0EC-16F0-4C25-B735-BFCA04E6BC72}_tvo_box_host"));
  ASSERT_TRUE(presence);
  ComPtr<CExplorerBand> band = MakeBand(nullptr);
  ASSERT_TRUE(band);
  std::vector<HWND> hosts = test::HostWindows();
  ASSERT_EQ(hosts.size(), 1u);
  EXPECT_EQ(static_cast<DWORD>(::GetWindowLongPtrW(hosts[0], GWL_STYLE)), 0x86000000u);
  EXPECT_EQ(::GetClassLongPtrW(hosts[0], GCL_STYLE), static_cast<ULONG_PTR>(CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS));
  EXPECT_EQ(::GetClassLongPtrW(hosts[0], GCLP_HBRBACKGROUND), static_cast<ULONG_PTR>(COLOR_WINDOW + 1));
  EXPECT_EQ(test::SendCopy(hosts[0], BuildProbeRecord(1, 2, 0)), 1);
  EXPECT_EQ(test::SendCopy(hosts[0], BuildProbeRecord(0, 0, 3)), 0);

  band->SetSite(frame_->Site());  // set up again: a new window, the old one gone, the workers woken
  ASSERT_EQ(test::HostWindows().size(), 1u);
  EXPECT_FALSE(::IsWindow(hosts[0]));
  EXPECT_EQ(::WaitForSingleObject(presence.get(), 0), WAIT_OBJECT_0);
  band->SetSite(nullptr);
  EXPECT_TRUE(test::HostWindows().empty());
  EXPECT_EQ(::WaitForSingleObject(presence.get(), 0), WAIT_OBJECT_0);
  EXPECT_EQ(::WaitForSingleObject(presence.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));  // one signal each
}

}  // namespace
}  // namespace quillan
