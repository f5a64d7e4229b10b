// The host object in this process, on the Explorer stand-in's window tree and site objects, with a
// window of the application's main-window class in this process taking the records.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "host_fixture.h"

namespace quillan {
namespace {

using standin::Layout;
using test::HostObjectTest;
using test::MakeFrame;
using test::Posted;
using test::Codes;
using test::Place;

TEST(ViewWindowSearch, FindsThePaneViewAndItemsOfEveryLayoutBelowAnExplorerFrameOnly) {
  const ViewSearchSystem vista{false, true};
  const ViewSearchSystem xp{true, false};
  ViewWindows found;
  auto newer = MakeFrame(Layout::Vista, L"ExploreWClass");
  auto& tree = newer->tree();
  ASSERT_TRUE(FindViewWindowsFrom(tree.View(), vista, &found));
  EXPECT_TRUE(found.parent == tree.Pane() && found.view == tree.View() && found.items == tree.Items());
  ASSERT_TRUE(FindViewWindowsFastFrom(tree.Items(), &found));  // from below the view too
  EXPECT_TRUE(found.parent == tree.Pane() && found.view == tree.View());
  // Moved out of its pane, the view is found by neither search.
  ::SetParent(tree.View(), tree.Frame());
  EXPECT_FALSE(FindViewWindowsFrom(tree.View(), vista, &found));
  ::SetParent(tree.View(), tree.Pane());

  auto listView = MakeFrame(Layout::Xp);
  ASSERT_TRUE(FindViewWindowsFrom(listView->tree().View(), xp, &found));
  EXPECT_TRUE(found.parent == listView->tree().View() && found.view == listView->tree().Items() &&
              found.items == listView->tree().Items());
  EXPECT_FALSE(FindViewWindowsFastFrom(listView->tree().View(), &found));
  EXPECT_FALSE(FindViewWindowsFrom(listView->tree().View(), vista, &found));

  auto taskPane = MakeFrame(Layout::XpDui);
  ASSERT_TRUE(FindViewWindowsFrom(taskPane->tree().View(), xp, &found));
  EXPECT_TRUE(found.parent == taskPane->tree().Pane() && found.view == taskPane->tree().Items() &&
              found.items == taskPane->tree().Items());

  // The same tree under a window that is no Explorer frame: the full search gives up at once, though
  // the fast path alone would have found it.
  auto foreign = MakeFrame(Layout::Vista, L"WorkerW");
  EXPECT_TRUE(FindViewWindowsFastFrom(foreign->tree().View(), &found));
  EXPECT_FALSE(FindViewWindowsFrom(foreign->tree().View(), vista, &found));
}

TEST_F(HostObjectTest, TheBarKeepsItsPlaceAndHeightAndAnswersTheAccountsRecords) {
  ASSERT_EQ(Show(0), S_OK);
  ASSERT_TRUE(host_->attached && BarShows());
  EXPECT_EQ(Codes(*main_), std::vector<DWORD>{to_main::kBarNotLoggedIn});
  // Layout without force and an unchanged pane moves nothing; forced, it puts the bar back.
  ::SetWindowPos(Bar(), nullptr, 5, 7, 100, 20, SWP_NOZORDER | SWP_NOACTIVATE);
  EXPECT_EQ(host_->Layout(true, false), 1);
  EXPECT_EQ(Place(Bar()).left, 5);
  EXPECT_EQ(host_->Layout(true, true), 1);
  EXPECT_EQ(Place(Bar()).left, 0);
  EXPECT_EQ(Place(Bar()).bottom, 39);

  // Action 4 sets a height the bar's own login face does not keep: it is always 39 (times the scale).
  EXPECT_EQ(Copy(to_host::kAccountAction, BuildAccountActionRecord(L"u1", L"e1", kActionSetBarHeight, 50)), 0);
  EXPECT_EQ(host_->barHeight, 39);
  EXPECT_EQ(ViewTop(), 39);
  // Action 1 maximises the frame; action 3 refreshes the view (a new file shows); another key does neither.
  ASSERT_TRUE(test::WriteBytes(sync_ + L"\\new.txt", "n"));
  Copy(to_host::kAccountAction, BuildAccountActionRecord(L"u1", L"e2", kActionMaximize));
  Copy(to_host::kAccountAction, BuildAccountActionRecord(L"u1", L"e2", kActionRefreshView));
  EXPECT_EQ(frame_->ItemNames().size(), 2u);
  EXPECT_FALSE(::IsZoomed(frame_->tree().Frame()));
  Copy(to_host::kAccountAction, BuildAccountActionRecord(L"u1", L"e1", kActionMaximize));
  Copy(to_host::kAccountAction, BuildAccountActionRecord(L"u1", L"e1", kActionRefreshView));
  test::PumpFor(50);
  EXPECT_TRUE(::IsZoomed(frame_->tree().Frame()));
  EXPECT_EQ(frame_->ItemNames().size(), 3u);

  // Visibility (either code) hides and shows the bar; the account changed resends the bar record
  // for this account only; 33793 asks for the selection for this account only.
  Copy(to_host::kVisibility, BuildVisibilityRecord(to_host::kVisibility, L"x", L"y", 0));
  EXPECT_FALSE(BarShows());
  EXPECT_EQ(ViewTop(), 0);
  Copy(to_host::kVisibilityAlt, BuildVisibilityRecord(to_host::kVisibilityAlt, L"x", L"y", 1));
  EXPECT_TRUE(BarShows());
  EXPECT_EQ(ViewTop(), 39);
  main_->Clear();
  Copy(to_host::kAccountChanged, BuildAccountChangedRecord(L"u1", L"e2"));
  Copy(to_host::kAccountChanged, BuildAccountChangedRecord(L"u1", L"e1"));
  EXPECT_EQ(Codes(*main_), std::vector<DWORD>{to_main::kBarNotLoggedIn});
  Copy(to_host::kRequestSelection, BuildWindowRecord(to_host::kRequestSelection, L"u2", L"e1", nullptr));
  EXPECT_FALSE(Posted(Host(), WM_HOST_SENDSELECTION));
  Copy(to_host::kRequestSelection, BuildWindowRecord(to_host::kRequestSelection, L"u1", L"e1", nullptr));
  EXPECT_TRUE(Posted(Host(), WM_HOST_SENDSELECTION));

  // Leaving: the view gets the pane's full height back and the bar goes.
  ASSERT_EQ(host_->UpdateAccount(false, L"", L"", L"", L"", L"", L"", L"", 0), S_OK);
  EXPECT_FALSE(host_->attached || Bar());
  EXPECT_EQ(ViewTop(), 0);
}

TEST_F(HostObjectTest, ALoggedInBarShowsWithTheApplicationsWindowAndItsWorkerKeepsTheListFresh) {
  const int threads = test::ThreadCount();
  accounts_.WriteNonSynced(L"u1", L"e1", L"\\A\r\n");
  ASSERT_EQ(Show(1), S_OK);
  ASSERT_TRUE(host_->attached);
  EXPECT_FALSE(BarShows());
  EXPECT_EQ(Codes(*main_), std::vector<DWORD>{to_main::kBarLoggedIn});
  HWND external = ::CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 10, 10, Bar(), nullptr, nullptr, nullptr);
  HWND stranger = ::CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 10, 10, frame_->tree().Frame(), nullptr,
                                    nullptr, nullptr);
  // Another account's key, or a window that is not in the bar: nothing.
  Copy(to_host::kAdoptWindow, BuildWindowRecord(to_host::kAdoptWindow, L"u1", L"e9", external));
  Copy(to_host::kAdoptWindow, BuildWindowRecord(to_host::kAdoptWindow, L"u1", L"e1", stranger));
  EXPECT_FALSE(BarShows() || host_->workerThread.valid());
  Copy(to_host::kAdoptWindow, BuildWindowRecord(to_host::kAdoptWindow, L"u1", L"e1", external));
  EXPECT_TRUE(BarShows() && (::GetWindowLongPtrW(external, GWL_STYLE) & WS_VISIBLE));
  EXPECT_EQ(ViewTop(), 39);
  ASSERT_TRUE(host_->workerThread.valid());
  EXPECT_EQ(test::ThreadCount(), threads + 1);
  EXPECT_TRUE(Posted(Host(), WM_HOST_CHECKSELECTION));
  const HANDLE worker = host_->workerThread.get();
  Copy(to_host::kAdoptWindow, BuildWindowRecord(to_host::kAdoptWindow, L"u1", L"e1", external));
  EXPECT_EQ(host_->workerThread.get(), worker);  // the same account: the same thread

  // The list as read at the start, again within 2 s, and at once when the presence event is signalled.
  auto list = [&] {
    CriticalSectionLock lock(host_->nonSynced.listLock);
    return host_->nonSynced.nonSyncedFolders;
  };
  ASSERT_TRUE(test::PumpUntil([&] { return list() == std::vector<std::wstring>{L"\\A\r"}; }, 1000));
  accounts_.WriteNonSynced(L"u1", L"e1", L"\\B\r\n");
  DWORD start = ::GetTickCount();
  ASSERT_TRUE(test::PumpUntil([&] { return list() == std::vector<std::wstring>{L"\\B\r"}; }, 3000));
  EXPECT_LE(::GetTickCount() - start, 2300u);
  accounts_.WriteNonSynced(L"u1", L"e1", L"\\C\r\n");
  UniqueHandle presence(::OpenEventW(EVENT_MODIFY_STATE, FALSE, kHostPresenceEventName));
  ASSERT_TRUE(presence && ::SetEvent(presence.get()));
  start = ::GetTickCount();
  ASSERT_TRUE(test::PumpUntil([&] { return list() == std::vector<std::wstring>{L"\\C\r"}; }, 3000));
  EXPECT_LE(::GetTickCount() - start, 500u);

  // Action 4 sets the height of a bar that hosts the application's window.
  Copy(to_host::kAccountAction, BuildAccountActionRecord(L"u1", L"e1", kActionSetBarHeight, 50));
  EXPECT_EQ(Place(Bar()).bottom, 50);
  EXPECT_EQ(ViewTop(), 50);
  // The application's window gone: the bar hides and the view has its full height again.
  ::DestroyWindow(external);
  EXPECT_EQ(host_->Layout(true, true), 1);
  EXPECT_FALSE(BarShows());
  EXPECT_EQ(ViewTop(), 0);

  // Another account's window starts its own worker in place of the first; the object ends both.
  ASSERT_EQ(Show(1, L"u2"), S_OK);
  external = ::CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 10, 10, Bar(), nullptr, nullptr, nullptr);
  Copy(to_host::kAdoptWindow, BuildWindowRecord(to_host::kAdoptWindow, L"u2", L"e1", external));
  EXPECT_EQ(host_->nonSynced.threadUserId, L"u2");
  EXPECT_EQ(test::ThreadCount(), threads + 1);
  start = ::GetTickCount();
  EXPECT_EQ(host_->Uninit(), S_OK);
  EXPECT_LT(::GetTickCount() - start, 200u);
  EXPECT_FALSE(host_->workerThread.valid());
  EXPECT_EQ(test::ThreadCount(), threads);
  ::DestroyWindow(stranger);
}

TEST_F(HostObjectTest, AFailedAttachIsRetriedForSixTicksAndStopsAtTheFirstSuccess) {
  auto& tree = frame_->tree();
  ::SetParent(tree.View(), tree.Frame());  // the view is not where the search looks
  ASSERT_EQ(Show(0), S_OK);
  EXPECT_FALSE(host_->attached);
  EXPECT_EQ(host_->attachRetriesLeft, 5);
  ASSERT_TRUE(test::PumpUntil([&] { return host_->attachRetriesLeft == 3; }, 2000));
  ::SetParent(tree.View(), tree.Pane());
  ASSERT_TRUE(test::PumpUntil([&] { return host_->attached; }, 1000));
  EXPECT_EQ(host_->attachRetriesLeft, 3);  // the third tick succeeded
  EXPECT_TRUE(BarShows());
  EXPECT_FALSE(::KillTimer(Host(), CVelCloudExplorerInjectObj::kAttachRetryTimer));

  ASSERT_EQ(host_->UpdateAccount(false, L"", L"", L"", L"", L"", L"", L"", 0), S_OK);
  ::SetParent(tree.View(), tree.Frame());
  ASSERT_EQ(Show(0), S_OK);
  test::PumpFor(1700);
  EXPECT_EQ(host_->attachRetriesLeft, -1);
  EXPECT_FALSE(host_->attached);
  EXPECT_FALSE(::KillTimer(Host(), CVelCloudExplorerInjectObj::kAttachRetryTimer));

  // Leaving while the retries run ends them: the view coming back shows no bar without an account.
  ASSERT_EQ(Show(0), S_OK);
  ASSERT_EQ(host_->UpdateAccount(false, L"", L"", L"", L"", L"", L"", L"", 0), S_OK);
  ::SetParent(tree.View(), tree.Pane());
  main_->Clear();
  EXPECT_FALSE(::KillTimer(Host(), CVelCloudExplorerInjectObj::kAttachRetryTimer));
  // A tick already queued finds no account and attaches nothing.
  ::SendMessageW(Host(), WM_TIMER, CVelCloudExplorerInjectObj::kAttachRetryTimer, 0);
  test::PumpFor(300);
  EXPECT_FALSE(host_->attached || Bar());
  EXPECT_TRUE(Codes(*main_).empty());
}

TEST_F(HostObjectTest, TheItemsInputAsksForSelectionChecksAndTheKindIsKeptForTheProcess) {
  ASSERT_EQ(Show(0), S_OK);
  const HWND items = frame_->tree().Items();
  ::SendMessageW(items, WM_MOUSEMOVE, MK_LBUTTON | MK_SHIFT, 0);
  ::SendMessageW(items, WM_KEYDOWN, VK_DOWN, 0);
  EXPECT_FALSE(Posted(Host(), WM_HOST_CHECKSELECTION));
  for (UINT message : {WM_MOUSEMOVE, WM_KEYUP, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_RBUTTONDOWN, WM_RBUTTONUP}) {
    ::SendMessageW(items, message, message == WM_MOUSEMOVE ? MK_LBUTTON : 0, 0);
    EXPECT_TRUE(Posted(Host(), WM_HOST_CHECKSELECTION)) << message;
  }
  {
    CriticalSectionLock lock(host_->nonSynced.listLock);
    host_->nonSynced.nonSyncedFolders = {L"\\Sub"};
  }
  struct Case {
    std::vector<std::wstring> selection;
    int32_t kind;
  };
  const Case cases[] = {{{sync_ + L"\\Sub"}, 0x19},  {{sync_ + L"\\a.txt"}, 0x1F}, {{}, 0x18},
                        {{sync_ + L"\\a.txt", sync_ + L"\\a.txt"}, 0x1B}};
  main_->Clear();
  for (const Case& c : cases) {
    frame_->SetSelection(c.selection);
    host_->CheckSelection();
    EXPECT_EQ(CVelCloudExplorerInjectObj::SelectionKind, c.kind);
  }
  // The flag goes out while on and once when it turns off; the count when it crosses zero.
  EXPECT_EQ(Codes(*main_), (std::vector<DWORD>{to_main::kSelectionState, to_main::kSelectionFlag,
                                              to_main::kSelectionFlag, to_main::kSelectionState,
                                              to_main::kSelectionFlag, to_main::kSelectionState}));
  // The view cannot be moved back under the bar while it shows.
  ::SetWindowPos(frame_->tree().View(), nullptr, 0, 0, 300, 300, SWP_NOZORDER | SWP_NOACTIVATE);
  EXPECT_EQ(ViewTop(), 39);
}

}  // namespace
}  // namespace quillan
