// The registered DLL in an Explorer stand-in, the desktop stand-in as the application: the bar of an
// account that is not logged in, from entering its sync folder to leaving it. Runs at 96 and 120 DPI.
#include <gtest/gtest.h>

#include "test_support.h"
#include "com_test_support.h"
#include "explorer/host_window_class.h"
#include "host_test_support.h"
#include "ipc/main_window.h"

namespace quillan {
namespace {

using test::DesktopAppRecord;
using test::Dump;
using test::Quoted;
using test::Registration;
using test::StandinRecord;

TEST(BarEndToEnd, ANotLoggedInAccountsBarSitsAboveTheViewAndFollowsTheFolder) {
  Registration registration;
  test::AccountFiles accounts(test::PrefixAppData(), true);
  test::TempDir folders;
  const std::wstring sync = folders / L"Sync 同步";
  const std::wstring outside = folders / L"Elsewhere";
  ASSERT_TRUE(test::MakeDirs(sync + L"\\docs") && test::MakeDirs(outside) && test::WriteBytes(sync + L"\\a.txt", "a"));
  accounts.AddSyncAccount({L"uid-a", L"eid-a", sync, L"user-a", L"", L"Ent A"});
  test::DesktopAppStandin app;
  ASSERT_TRUE(app.Start());
  test::ExplorerStandin explorer;
  ASSERT_TRUE(explorer.Start({L"", {}}));
  const HWND frame = explorer.WaitForFrame();
  ASSERT_TRUE(frame);
  const int height = test::ExpectedBarHeight();
  const std::wstring pictures = test::PictureFolder() + (height == 48 ? L"\\bar-120dpi-" : L"\\bar-");

  // Entering: the bar record at once, after 300 ms and 1000 ms more, and with each revalidation (3 s).
  ASSERT_TRUE(explorer.Run(L"navigate " + Quoted(sync)));
  ASSERT_TRUE(app.WaitForRecords(to_main::kBarNotLoggedIn, 5, 10000));
  Dump entered(explorer);
  const StandinRecord* pane = entered.Role(L"pane");
  const StandinRecord* view = entered.Role(L"view");
  ASSERT_TRUE(pane && view);
  const StandinRecord* bar = entered.BarIn(*pane);
  const StandinRecord* host = entered.Class(kHostWindowClass);
  ASSERT_TRUE(bar && host) << explorer.Log();
  const long long paneWidth = pane->Number(L"client-width");
  const long long paneHeight = pane->Number(L"client-height");
  EXPECT_EQ(bar->Number(L"x"), 0);
  EXPECT_EQ(bar->Number(L"y"), 0);
  EXPECT_EQ(bar->Number(L"width"), paneWidth);
  EXPECT_EQ(bar->Number(L"height"), height);
  EXPECT_TRUE(test::Visible(*bar));
  EXPECT_EQ(view->Number(L"y"), height);
  EXPECT_EQ(view->Number(L"height"), paneHeight - height);
  // The login face: avatar, name, status icon, prompt and link all shown.
  int shown = 0;
  for (const StandinRecord* control : entered.Children(*bar)) shown += test::Visible(*control) ? 1 : 0;
  EXPECT_EQ(shown, 5);
  ASSERT_TRUE(explorer.Run(L"picture " + Quoted(pictures + L"not-logged-in.png")));

  std::vector<DesktopAppRecord> sent = app.Records(to_main::kBarNotLoggedIn);
  EXPECT_EQ(sent[0].payload, BuildBarRecord(host->Window(L"hwnd"), bar->Window(L"hwnd"), L"uid-a", L"eid-a", L"user-a",
                                            L"Ent A", 0, 0)
                                 ->payload);
  for (const DesktopAppRecord& record : sent) EXPECT_EQ(record.payload, sent[0].payload);
  // The 200 ms timer sends each at its first tick after the interval. The application notes the time
  // a little after the host: its intervals may come out a tick of the clock short.
  const DWORD firstResend = sent[1].tick - sent[0].tick;
  const DWORD secondResend = sent[2].tick - sent[1].tick;
  const DWORD revalidation = sent[3].tick - sent[0].tick;
  const DWORD afterRevalidation = sent[4].tick - sent[3].tick;
  EXPECT_TRUE(firstResend >= 280 && firstResend < 900) << firstResend;
  EXPECT_TRUE(secondResend >= 980 && secondResend < 1600) << secondResend;
  EXPECT_TRUE(revalidation >= 2980 && revalidation < 3800) << revalidation;
  EXPECT_TRUE(afterRevalidation >= 280 && afterRevalidation < 900) << afterRevalidation;

  // A resize: the bar takes the pane's new width within a tick, and the pane cannot put the view back
  // under the bar.
  ASSERT_TRUE(explorer.Run(L"resize 640 420; wait 400"));
  Dump resized(explorer);
  pane = resized.Role(L"pane");
  view = resized.Role(L"view");
  bar = pane ? resized.BarIn(*pane) : nullptr;
  ASSERT_TRUE(bar && view);
  EXPECT_LT(pane->Number(L"client-width"), paneWidth);
  EXPECT_EQ(bar->Number(L"width"), pane->Number(L"client-width"));
  EXPECT_EQ(view->Number(L"y"), height);
  EXPECT_EQ(view->Number(L"height"), pane->Number(L"client-height") - height);
  const HWND barWindow = bar->Window(L"hwnd");

  // Another folder of the account: the same bar, its place checked again (which sends the record).
  const size_t records = app.Records(to_main::kBarNotLoggedIn).size();
  ASSERT_TRUE(explorer.Run(L"navigate docs --view=keep"));
  Dump inside(explorer);
  ASSERT_TRUE(inside.Role(L"pane") && inside.BarIn(*inside.Role(L"pane")));
  EXPECT_EQ(inside.BarIn(*inside.Role(L"pane"))->Window(L"hwnd"), barWindow);
  EXPECT_GT(app.Records(to_main::kBarNotLoggedIn).size(), records);

  // The view rebuilds its items window: the new one is watched, its selection checked afresh.
  ASSERT_TRUE(explorer.Run(L"navigate .. --view=keep; rebuild"));
  ASSERT_TRUE(app.WaitForRecords(to_main::kSelectionState, 1, 3000));
  ASSERT_TRUE(explorer.Run(L"select --by=click a.txt"));
  ASSERT_TRUE(app.WaitForRecords(to_main::kSelectionState, 2, 3000));
  std::vector<DesktopAppRecord> states = app.Records(to_main::kSelectionState);
  EXPECT_EQ(states[0].payload, BuildSelectionStateRecord(L"uid-a", L"eid-a", frame, 0)->payload);
  EXPECT_EQ(states[1].payload, BuildSelectionStateRecord(L"uid-a", L"eid-a", frame, 1)->payload);
  ASSERT_TRUE(explorer.Run(L"picture " + Quoted(pictures + L"rebuilt.png")));

  // The account changed: the band looks at the folder again, forced for an account that is not logged
  // in (a new bar, its record), and the bar record goes out once more.
  const size_t beforeChange = app.Records(to_main::kBarNotLoggedIn).size();
  EXPECT_TRUE(SendRecord(host->Window(L"hwnd"), *BuildAccountChangedRecord(L"uid-a", L"eid-a"), SMTO_NORMAL, 5000));
  EXPECT_EQ(app.Records(to_main::kBarNotLoggedIn).size(), beforeChange + 2);
  Dump changed(explorer);
  ASSERT_TRUE(changed.Role(L"pane") && changed.BarIn(*changed.Role(L"pane")));
  EXPECT_NE(changed.BarIn(*changed.Role(L"pane"))->Window(L"hwnd"), barWindow);

  // Leaving every sync folder: the bar goes and the view has the pane's full height again.
  ASSERT_TRUE(explorer.Run(L"navigate " + Quoted(outside) + L" --view=keep"));
  Dump left(explorer);
  ASSERT_TRUE(left.Role(L"pane") && left.Role(L"view"));
  EXPECT_FALSE(left.BarIn(*left.Role(L"pane")));
  EXPECT_EQ(left.Role(L"view")->Number(L"y"), 0);
  EXPECT_EQ(left.Role(L"view")->Number(L"height"), left.Role(L"pane")->Number(L"client-height"));
  ASSERT_TRUE(explorer.Run(L"picture " + Quoted(pictures + L"left.png")));

  // The bar switch at 0: the bar is made and the records go out, but it never shows.
  accounts.SetBarSwitch(0);
  const size_t before = app.Records(to_main::kBarNotLoggedIn).size();
  ASSERT_TRUE(explorer.Run(L"navigate " + Quoted(sync) + L"; wait 700"));
  Dump switchedOff(explorer);
  ASSERT_TRUE(switchedOff.Role(L"pane") && switchedOff.BarIn(*switchedOff.Role(L"pane")));
  EXPECT_FALSE(test::Visible(*switchedOff.BarIn(*switchedOff.Role(L"pane"))));
  EXPECT_EQ(switchedOff.Role(L"view")->Number(L"y"), 0);
  EXPECT_GE(app.Records(to_main::kBarNotLoggedIn).size(), before + 2);
  ASSERT_TRUE(explorer.Run(L"picture " + Quoted(pictures + L"switched-off.png") + L"; quit"));
  ASSERT_TRUE(explorer.WaitExit(20000));
  EXPECT_EQ(explorer.ExitCode(), 0u) << explorer.Log();
}

}  // namespace
}  // namespace quillan
