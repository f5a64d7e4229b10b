// The host object through its host window: the application's records, the timers, the selection
// reports; the search for the view's windows, the resend schedule and the display scale as the
// functions they are, and the version answers of a program that claims another Windows version.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "explorer/resend_schedule.h"
#include "explorer/view_window_search.h"
#include "host_fixture.h"
#include "ui/dpi_scale.h"
#include "ui/system_version.h"

namespace quillan {
namespace {

using standin::Layout;
using test::HostObjectTest;
using test::MakeFrame;
using test::Posted;
using test::RectInParent;

TEST(ViewWindowSearch, FindsThePaneViewAndItemsOfEveryLayoutBelowAnExplorerFrameOnly) {
  const ViewSearchSystem vista{false, true}, xp{true, false};
  ViewWindows found;
  const auto is = [&](HWND parent, HWND view, HWND items) {
    return found.parent == parent && found.view == view && found.items == items;
  };
  auto newer = MakeFrame(Layout::Vista, L"ExploreWClass");
  auto& tree = newer->tree();
  ASSERT_TRUE(FindViewWindowsFrom(tree.View(), vista, &found));
  EXPECT_TRUE(is(tree.Pane(), tree.View(), tree.Items()));
  ASSERT_TRUE(FindViewWindowsFastFrom(tree.Items(), &found));  // from below the view too
  EXPECT_TRUE(is(tree.Pane(), tree.View(), tree.Items()));
  ::SetParent(tree.View(), tree.Frame());  // out of its pane: found by neither search
  EXPECT_FALSE(FindViewWindowsFrom(tree.View(), vista, &found));
  auto listView = MakeFrame(Layout::Xp);
  ASSERT_TRUE(FindViewWindowsFrom(listView->tree().View(), xp, &found));
  EXPECT_TRUE(is(listView->tree().View(), listView->tree().Items(), listView->tree().Items()));
  EXPECT_FALSE(FindViewWindowsFastFrom(listView->tree().View(), &found));
  EXPECT_FALSE(FindViewWindowsFrom(listView->tree().View(), vista, &found));
  auto taskPane = MakeFrame(Layout::XpDui);
  ASSERT_TRUE(FindViewWindowsFrom(taskPane->tree().View(), xp, &found));
  EXPECT_TRUE(is(taskPane->tree().Pane(), taskPane->tree().Items(), taskPane->tree().Items()));
  // Below a window that is no Explorer frame the full search gives up, though the fast path finds it.
  auto foreign = MakeFrame(Layout::Vista, L"WorkerW");
  EXPECT_TRUE(FindViewWindowsFastFrom(foreign->tree().View(), &found));
  EXPECT_FALSE(FindViewWindowsFrom(foreign->tree().View(), vista, &found));
}

TEST(ResendSchedule, StepsOf300And1000And3000ThenEvery60000MsFromTheEndOfEachSend) {
  ResendSchedule schedule;
  DWORD last = 0xFFFFFF00u;  // across the tick counter's wrap
  schedule.Restart(last);
  for (DWORD step : {300u, 1000u, 3000u, 60000u, 60000u}) {
    EXPECT_FALSE(schedule.Due(last + step - 1)) << step;
    EXPECT_TRUE(schedule.Due(last + step)) << step;
    last += step + 700;  // a send that took 700 ms: the next step counts from its end
    schedule.Sent(last);
  }
  schedule.Restart(last);
  EXPECT_FALSE(schedule.Due(last + 299));
  EXPECT_TRUE(schedule.Due(last + 300));
}

TEST(DpiScale, TableOfDpisAndScales) {
  const struct {
    int dpi;
    float scale;
  } table[] = {{96, 1.0f},   {120, 1.25f}, {144, 1.5f}, {168, 1.75f}, {192, 2.0f},
               {216, 2.25f}, {240, 2.5f},  {288, 3.0f}, {336, 3.5f}};
  for (const auto& row : table) {
    EXPECT_TRUE(DpiScale::InitFromDpi(row.dpi)) << row.dpi;
    EXPECT_EQ(DpiScale::Scale(), row.scale) << row.dpi;
  }
  ASSERT_TRUE(DpiScale::InitFromDpi(120));
  // Off the table the previous scale stays (the sizes it gives are the bar test's at 120 DPI).
  for (int dpi : {0, 95, 110, 264, 312, 337, 600}) {
    EXPECT_FALSE(DpiScale::InitFromDpi(dpi)) << dpi;
    EXPECT_EQ(DpiScale::Scale(), 1.25f) << dpi;
  }
}

// The probe's version answers under a Windows version claimed through Wine's per-program setting.
DWORD ProbeAs(const wchar_t* version) {
  test::TempDir dir;
  const std::wstring name = std::wstring(L"version_probe_") + version + L".exe", exe = dir / name;
  if (!::CopyFileW((test::BinDir() + L"\\probe.exe").c_str(), exe.c_str(), FALSE)) return 0xFFFFFFFF;
  std::wstring key = L"Software\\Wine\\AppDefaults\\" + name;
  ::RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), L"Version", REG_SZ, version,
                    static_cast<DWORD>((wcslen(version) + 1) * sizeof(wchar_t)));
  test::ChildProcess child;
  DWORD code = 0xFFFFFFFF;
  if (child.Start(exe, test::QuoteArg(exe) + L" version") && child.Wait(30000)) code = child.ExitCode();
  ::RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
  return code;
}

TEST(SystemVersion, AnswersFollowTheReportedVersion) {
  EXPECT_TRUE(IsVistaOrLater());  // the test prefix reports Windows 7
  EXPECT_FALSE(IsXpOr2003());
  EXPECT_EQ(ProbeAs(L"win7"), 1u | (16u << 8));
  EXPECT_EQ(ProbeAs(L"winxp64"), 2u | (13u << 8));  // 5.2: the 13-pixel images
  EXPECT_EQ(ProbeAs(L"win2k") & 3u, 0u);  // 5.0: neither
}

void WatchTick(HWND host) { ::SendMessageW(host, WM_TIMER, 1000, 0); }

TEST_F(HostObjectTest, TheBarKeepsItsPlaceAndAnswersTheAccountsRecords) {
  ASSERT_EQ(Show(0), S_OK);
  ASSERT_TRUE(BarShows());
  EXPECT_EQ(Codes(), std::vector<DWORD>{33777});
  // A tick with an unchanged pane moves nothing; a forced layout (visibility) puts the bar back.
  ::SetWindowPos(Bar(), nullptr, 5, 7, 100, 20, SWP_NOZORDER | SWP_NOACTIVATE);
  WatchTick(Host());
  EXPECT_EQ(RectInParent(Bar()).left, 5);
  Copy(BuildVisibilityRecord(33772, L"x", L"y", 1));
  EXPECT_EQ(RectInParent(Bar()).left, 0);
  EXPECT_EQ(RectInParent(Bar()).bottom, 39);
  // The view cannot be moved back under the bar.
  ::SetWindowPos(frame_->tree().View(), nullptr, 0, 0, 300, 300, SWP_NOZORDER | SWP_NOACTIVATE);
  EXPECT_EQ(ViewTop(), 39);

  // Action 4 sets a height the bar's own login face does not keep. Action 1 maximises the frame and 3
  // refreshes the view (a new file shows), for this account only.
  EXPECT_EQ(Copy(BuildAccountActionRecord(L"u1", L"e1", 4, 50)), 0);
  EXPECT_EQ(RectInParent(Bar()).bottom, 39);
  EXPECT_EQ(ViewTop(), 39);
  ASSERT_TRUE(test::WriteBytes(sync_ + L"\\new.txt", "n"));
  for (const wchar_t* enterprise : {L"E1", L"e1"}) {
    Copy(BuildAccountActionRecord(L"u1", enterprise, 1));
    Copy(BuildAccountActionRecord(L"u1", enterprise, 3));
  }
  EXPECT_EQ(frame_->ItemNames().size(), 3u);
  test::PumpFor(50);
  EXPECT_TRUE(::IsZoomed(frame_->tree().Frame()));

  // Visibility (either code, any key) hides and shows the bar.
  Copy(BuildVisibilityRecord(33771, L"x", L"y", 0));
  EXPECT_FALSE(BarShows());
  EXPECT_EQ(ViewTop(), 0);
  Copy(BuildVisibilityRecord(33772, L"x", L"y", 1));
  EXPECT_TRUE(BarShows());
  EXPECT_EQ(ViewTop(), 39);
  // The account changed resends the bar record for this account only; 33793 asks for the selection
  // of this account only.
  main_->Clear();
  Copy(BuildAccountChangedRecord(L"u1", L"E1"));
  Copy(BuildAccountChangedRecord(L"u1", L"e1"));
  EXPECT_EQ(Codes(), std::vector<DWORD>{33777});
  Copy(BuildWindowRecord(33793, L"u2", L"e1", nullptr));
  EXPECT_FALSE(Posted(Host(), 0x1402));
  Copy(BuildWindowRecord(33793, L"u1", L"e1", nullptr));
  EXPECT_TRUE(Posted(Host(), 0x1402));

  // Leaving: the view gets the pane's full height back and the bar goes.
  ASSERT_EQ(Leave(), S_OK);
  EXPECT_EQ(Bar(), nullptr);
  EXPECT_EQ(ViewTop(), 0);

  // With the switch at 0 the bar is made and announced, but never shown, whoever asks.
  accounts_.SetBarSwitch(0);
  main_->Clear();
  ASSERT_EQ(Show(0), S_OK);
  ASSERT_NE(Bar(), nullptr);
  Copy(BuildVisibilityRecord(33771, L"u1", L"e1", 1));
  Copy(BuildAccountActionRecord(L"u1", L"e1", 4, 50));
  WatchTick(Host());
  EXPECT_FALSE(BarShows());
  EXPECT_EQ(ViewTop(), 0);
  EXPECT_EQ(Codes(), std::vector<DWORD>{33777});
}

TEST_F(HostObjectTest, ALoggedInBarWaitsForTheApplicationsWindowAndItsWorkerKeepsTheListFresh) {
  const int threads = test::ThreadCount();
  accounts_.WriteNonSynced(L"u1", L"e1", L"\\A\r\n");
  ASSERT_EQ(Show(1), S_OK);
  ASSERT_NE(Bar(), nullptr);
  EXPECT_FALSE(BarShows());
  // Without the application's window the record goes out again 300 ms after the first.
  const DWORD start = ::GetTickCount();
  ASSERT_TRUE(test::PumpUntil([&] { return Codes().size() >= 2; }, 1000));
  EXPECT_GE(::GetTickCount() - start, 280u);
  EXPECT_EQ(Codes(), (std::vector<DWORD>{33790, 33790}));

  // Another account's key, or a window that is not in the bar: nothing.
  HWND stranger = ::CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 9, 9, frame_->tree().Frame(), nullptr,
                                    nullptr, nullptr);
  Copy(BuildWindowRecord(33769, L"u1", L"e1", stranger));
  Adopt(L"u9");
  EXPECT_FALSE(BarShows());
  EXPECT_EQ(test::ThreadCount(), threads);
  HWND external = Adopt();
  EXPECT_TRUE(BarShows() && ::IsWindowVisible(external));
  EXPECT_EQ(ViewTop(), 39);
  EXPECT_EQ(test::ThreadCount(), threads + 1);
  EXPECT_TRUE(Posted(Host(), 0x1401));
  Copy(BuildWindowRecord(33769, L"u1", L"e1", external));
  EXPECT_EQ(test::ThreadCount(), threads + 1);  // the same account: the same thread

  // The list as the selection flag shows it: read at the start, again within 2 s, and at once when
  // the presence event is signalled.
  frame_->SetSelection({sync_ + L"\\B"});
  const auto flag = [&](char expected) {
    return test::PumpUntil([&] {
      ::SendMessageW(Host(), 0x1401, 0, 0);
      const auto flags = Payloads(33792);
      return !flags.empty() && flags.back() == std::string(1, expected);
    }, 3000);
  };
  ASSERT_TRUE(flag(1));  // "\A": B is synchronised
  accounts_.WriteNonSynced(L"u1", L"e1", L"\\B\r\n");
  DWORD changed = ::GetTickCount();
  ASSERT_TRUE(flag(0));
  EXPECT_LE(::GetTickCount() - changed, 2300u);
  accounts_.WriteNonSynced(L"u1", L"e1", L"\\C\r\n");
  UniqueHandle presence(::OpenEventW(EVENT_MODIFY_STATE, FALSE, L"Global\\{6E1FE0EC-16F0-4C25-B735-BFCA04E6BC72}_tvo_box_host"));
  ASSERT_TRUE(presence && ::SetEvent(presence.get()));
  changed = ::GetTickCount();
  ASSERT_TRUE(flag(1));
  EXPECT_LE(::GetTickCount() - changed, 500u);

  // Action 4 sets the height of a bar that hosts the application's window.
  Copy(BuildAccountActionRecord(L"u1", L"e1", 4, 50));
  EXPECT_EQ(RectInParent(Bar()).bottom, 50);
  EXPECT_EQ(ViewTop(), 50);
  // The application's window gone: the bar hides and the view has its full height again.
  ::DestroyWindow(external);
  WatchTick(Host());
  EXPECT_FALSE(BarShows());
  EXPECT_EQ(ViewTop(), 0);

  // Another account's window starts its own worker in place of the first; Uninit ends it at once.
  const int withWorker = test::ThreadCount();
  ASSERT_EQ(Show(1, L"u2"), S_OK);
  Adopt(L"u2");
  EXPECT_EQ(test::ThreadCount(), withWorker);
  const DWORD uninit = ::GetTickCount();
  EXPECT_EQ(host_->Uninit(), S_OK);
  EXPECT_LT(::GetTickCount() - uninit, 200u);
  EXPECT_EQ(test::ThreadCount(), withWorker - 1);
  ::DestroyWindow(stranger);
}

TEST_F(HostObjectTest, AFailedAttachIsRetriedForSixTicksAndStopsAtTheFirstSuccess) {
  auto& tree = frame_->tree();
  const auto hideView = [&](bool hidden) { ::SetParent(tree.View(), hidden ? tree.Frame() : tree.Pane()); };
  hideView(true);
  ASSERT_EQ(Show(0), S_OK);
  EXPECT_EQ(Bar(), nullptr);
  test::PumpFor(500);
  hideView(false);
  ASSERT_TRUE(test::PumpUntil([&] { return Bar() != nullptr; }, 400));
  EXPECT_TRUE(BarShows());
  EXPECT_FALSE(::KillTimer(Host(), 1001));

  // Six failed ticks (1.2 s) and the retries end.
  ASSERT_EQ(Leave(), S_OK);
  hideView(true);
  ASSERT_EQ(Show(0), S_OK);
  test::PumpFor(1500);
  hideView(false);
  test::PumpFor(500);
  EXPECT_EQ(Bar(), nullptr);
  EXPECT_FALSE(::KillTimer(Host(), 1001));

  // A second navigation that attaches ends the retries of a failed one.
  hideView(true);
  ASSERT_EQ(Show(0), S_OK);
  hideView(false);
  ASSERT_EQ(Show(0), S_OK);
  const HWND bar = Bar();
  ASSERT_NE(bar, nullptr);
  test::PumpFor(500);
  EXPECT_EQ(Bar(), bar);
  EXPECT_FALSE(::KillTimer(Host(), 1001));

  // Leaving while the retries run ends them; a tick already queued finds no account.
  ASSERT_EQ(Leave(), S_OK);
  hideView(true);
  ASSERT_EQ(Show(0), S_OK);
  ASSERT_EQ(Leave(), S_OK);
  hideView(false);
  main_->Clear();
  EXPECT_FALSE(::KillTimer(Host(), 1001));
  ::SendMessageW(Host(), WM_TIMER, 1001, 0);
  test::PumpFor(300);
  EXPECT_EQ(Bar(), nullptr);
  EXPECT_TRUE(Codes().empty());
}

TEST_F(HostObjectTest, TheItemsInputAsksForOneSelectionCheckAndOnlyAChangeIsReported) {
  ASSERT_EQ(Show(0), S_OK);
  const HWND items = frame_->tree().Items();
  ::SendMessageW(items, WM_MOUSEMOVE, MK_LBUTTON | MK_SHIFT, 0);
  ::SendMessageW(items, WM_KEYDOWN, VK_DOWN, 0);
  EXPECT_FALSE(Posted(Host(), 0x1401));
  for (UINT message : {WM_MOUSEMOVE, WM_KEYUP, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_RBUTTONDOWN, WM_RBUTTONUP}) {
    ::SendMessageW(items, message, message == WM_MOUSEMOVE ? MK_LBUTTON : 0, 0);
    EXPECT_TRUE(Posted(Host(), 0x1401)) << message;
    ::SendMessageW(Host(), 0x1401, 0, 0);  // the check, run as the queue would
  }
  for (int i = 0; i < 20; ++i) ::SendMessageW(items, WM_MOUSEMOVE, MK_LBUTTON, 0);  // a drag
  EXPECT_TRUE(Posted(Host(), 0x1401));
  EXPECT_FALSE(Posted(Host(), 0x1401));  // one check waiting
  ::SendMessageW(Host(), 0x1401, 0, 0);

  // The flag (33792) goes out while it is on and once when it turns off; the count (33788) when it
  // crosses zero; an unchanged selection sends nothing.
  const struct {
    std::vector<std::wstring> selection;
    std::vector<DWORD> codes;
    std::string flag;
  } rows[] = {
      {{sync_ + L"\\a.txt"}, {33792, 33788}, "\x01"},
      {{sync_ + L"\\a.txt"}, {}, ""},
      {{sync_ + L"\\a.txt", sync_ + L"\\Sub"}, {33792}, "\x01"},
      {{sync_ + L"\\Sub"}, {33792}, "\x01"},
      {{}, {33792, 33788}, std::string(1, '\0')},
      {{}, {}, ""},
  };
  for (const auto& row : rows) {
    frame_->SetSelection(row.selection);
    main_->Clear();
    ::SendMessageW(Host(), 0x1401, 0, 0);
    EXPECT_EQ(Codes(), row.codes) << row.selection.size();
    for (const std::string& flag : Payloads(33792)) EXPECT_EQ(flag, row.flag) << row.selection.size();
  }
  // 33793 sends the selection as a path list (33787) after its own answer.
  frame_->SetSelection({sync_ + L"\\a.txt"});
  ::SendMessageW(Host(), 0x1401, 0, 0);
  main_->Clear();
  Copy(BuildWindowRecord(33793, L"u1", L"e1", nullptr));
  test::PumpFor(50);
  const std::wstring a = sync_ + L"\\a.txt";
  const auto shared = Payloads(33787);
  ASSERT_EQ(shared.size(), 1u);  // the window, L, the list, and one byte that carries no value
  EXPECT_EQ(shared[0].substr(0, shared[0].size() - 1),
            test::Bytes().Handle(frame_->tree().Frame()).Int((a.size() + 2) * 2, 8).Text(a).Int(0, 2).str());
}

}  // namespace
}  // namespace quillan
