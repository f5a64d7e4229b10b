// The host object in this process, on the Explorer stand-in's window tree and site objects, with a
// window of the application's main-window class in this process taking the records.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "test_support.h"
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

// Timer 1000 and a forced layout, as the host window gets them.
void WatchTick(HWND host) { ::SendMessageW(host, WM_TIMER, 1000, 0); }

TEST_F(HostObjectTest, TheBarKeepsItsPlaceAndHeightAndAnswersTheAccountsRecords) {
  ASSERT_EQ(Show(0), S_OK);
  ASSERT_TRUE(BarShows());
  EXPECT_EQ(Codes(*main_), std::vector<DWORD>{33777});
  // A tick with an unchanged pane moves nothing; a forced layout (visibility) puts the bar back.
  ::SetWindowPos(Bar(), nullptr, 5, 7, 100, 20, SWP_NOZORDER | SWP_NOACTIVATE);
  WatchTick(Host());
  EXPECT_EQ(Place(Bar()).left, 5);
  Copy(33772, BuildVisibilityRecord(33772, L"x", L"y", 1));
  EXPECT_EQ(Place(Bar()).left, 0);
  EXPECT_EQ(Place(Bar()).bottom, 39);

  // Action 4 sets a height the bar's own login face does not keep: it is always 39 (times the scale).
  EXPECT_EQ(Copy(33782, BuildAccountActionRecord(L"u1", L"e1", 4, 50)), 0);
  EXPECT_EQ(Place(Bar()).bottom, 39);
  EXPECT_EQ(ViewTop(), 39);
  // Action 1 maximises the frame; action 3 refreshes the view (a new file shows); another key does neither.
  ASSERT_TRUE(test::WriteBytes(sync_ + L"\\new.txt", "n"));
  Copy(33782, BuildAccountActionRecord(L"u1", L"e2", 1));
  Copy(33782, BuildAccountActionRecord(L"u1", L"e2", 3));
  EXPECT_EQ(frame_->ItemNames().size(), 2u);
  EXPECT_FALSE(::IsZoomed(frame_->tree().Frame()));
  Copy(33782, BuildAccountActionRecord(L"u1", L"e1", 1));
  Copy(33782, BuildAccountActionRecord(L"u1", L"e1", 3));
  test::PumpFor(50);
  EXPECT_TRUE(::IsZoomed(frame_->tree().Frame()));
  EXPECT_EQ(frame_->ItemNames().size(), 3u);

  // Visibility (either code) hides and shows the bar; the account changed resends the bar record
  // for this account only; 33793 asks for the selection for this account only.
  Copy(33771, BuildVisibilityRecord(33771, L"x", L"y", 0));
  EXPECT_FALSE(BarShows());
  EXPECT_EQ(ViewTop(), 0);
  Copy(33772, BuildVisibilityRecord(33772, L"x", L"y", 1));
  EXPECT_TRUE(BarShows());
  EXPECT_EQ(ViewTop(), 39);
  main_->Clear();
  Copy(33775, BuildAccountChangedRecord(L"u1", L"e2"));
  Copy(33775, BuildAccountChangedRecord(L"u1", L"e1"));
  EXPECT_EQ(Codes(*main_), std::vector<DWORD>{33777});
  Copy(33793, BuildWindowRecord(33793, L"u2", L"e1", nullptr));
  EXPECT_FALSE(Posted(Host(), 0x1402));
  Copy(33793, BuildWindowRecord(33793, L"u1", L"e1", nullptr));
  EXPECT_TRUE(Posted(Host(), 0x1402));

  // Leaving: the view gets the pane's full height back and the bar goes.
  ASSERT_EQ(host_->UpdateAccount(false, AccountEntry{}), S_OK);
  EXPECT_EQ(Bar(), nullptr);
  EXPECT_EQ(ViewTop(), 0);
}

TEST_F(HostObjectTest, ALoggedInBarShowsWithTheApplicationsWindowAndItsWorkerKeepsTheListFresh) {
  const int threads = test::ThreadCount();
  accounts_.WriteNonSynced(L"u1", L"e1", L"\\A\r\n");
  ASSERT_EQ(Show(1), S_OK);
  ASSERT_NE(Bar(), nullptr);
  EXPECT_FALSE(BarShows());
  EXPECT_EQ(Codes(*main_), std::vector<DWORD>{33790});
  HWND external = ::CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 10, 10, Bar(), nullptr, nullptr, nullptr);
  HWND stranger = ::CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 10, 10, frame_->tree().Frame(), nullptr,
                                    nullptr, nullptr);
  // Another account's key, or a window that is not in the bar: nothing.
  Copy(33769, BuildWindowRecord(33769, L"u1", L"e9", external));
  Copy(33769, BuildWindowRecord(33769, L"u1", L"e1", stranger));
  EXPECT_FALSE(BarShows());
  EXPECT_EQ(test::ThreadCount(), threads);
  Copy(33769, BuildWindowRecord(33769, L"u1", L"e1", external));
  EXPECT_TRUE(BarShows() && (::GetWindowLongPtrW(external, GWL_STYLE) & WS_VISIBLE));
  EXPECT_EQ(ViewTop(), 39);
  EXPECT_EQ(test::ThreadCount(), threads + 1);
  EXPECT_TRUE(Posted(Host(), 0x1401));
  Copy(33769, BuildWindowRecord(33769, L"u1", L"e1", external));
  EXPECT_EQ(test::ThreadCount(), threads + 1);  // the same account: the same thread

  // The list as the selection flag shows it: read at the start, again within 2 s, and at once when
  // the presence event is signalled.
  frame_->SetSelection({sync_ + L"\\B"});
  auto excluded = [&](uint8_t flag) {
    return test::PumpUntil([&] {
      ::SendMessageW(Host(), 0x1401, 0, 0);
      const auto flags = main_->Received(WM_COPYDATA);
      for (auto it = flags.rbegin(); it != flags.rend(); ++it) {
        if (it->code == 33792) return it->payload == std::string(1, static_cast<char>(flag));
      }
      return false;
    }, 3000);
  };
  ASSERT_TRUE(excluded(1));  // "\A": B is synchronised
  accounts_.WriteNonSynced(L"u1", L"e1", L"\\B\r\n");
  DWORD start = ::GetTickCount();
  ASSERT_TRUE(excluded(0));
  EXPECT_LE(::GetTickCount() - start, 2300u);
  accounts_.WriteNonSynced(L"u1", L"e1", L"\\C\r\n");
  UniqueHandle presence(::OpenEventW(EVENT_MODIFY_STATE, FALSE, L"Global\\{6E1FE0EC-16F0-4C25-B735-BFCA04E6BC72}_tvo_box_host"));
  ASSERT_TRUE(presence && ::SetEvent(presence.get()));
  start = ::GetTickCount();
  ASSERT_TRUE(excluded(1));
  EXPECT_LE(::GetTickCount() - start, 500u);

  // Action 4 sets the height of a bar that hosts the application's window.
  Copy(33782, BuildAccountActionRecord(L"u1", L"e1", 4, 50));
  EXPECT_EQ(Place(Bar()).bottom, 50);
  EXPECT_EQ(ViewTop(), 50);
  // The application's window gone: the bar hides and the view has its full height again.
  ::DestroyWindow(external);
  WatchTick(Host());
  EXPECT_FALSE(BarShows());
  EXPECT_EQ(ViewTop(), 0);

  // Another account's window starts its own worker in place of the first; the object ends it.
  const int withWorker = test::ThreadCount();
  ASSERT_EQ(Show(1, L"u2"), S_OK);
  external = ::CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 10, 10, Bar(), nullptr, nullptr, nullptr);
  Copy(33769, BuildWindowRecord(33769, L"u2", L"e1", external));
  EXPECT_EQ(test::ThreadCount(), withWorker);
  start = ::GetTickCount();
  EXPECT_EQ(host_->Uninit(), S_OK);
  EXPECT_LT(::GetTickCount() - start, 200u);
  EXPECT_EQ(test::ThreadCount(), withWorker - 1);
  ::DestroyWindow(stranger);
}

TEST_F(HostObjectTest, AFailedAttachIsRetriedForSixTicksAndStopsAtTheFirstSuccess) {
  auto& tree = frame_->tree();
  ::SetParent(tree.View(), tree.Frame());  // the view is not where the search looks
  ASSERT_EQ(Show(0), S_OK);
  EXPECT_EQ(Bar(), nullptr);
  test::PumpFor(500);
  ::SetParent(tree.View(), tree.Pane());
  ASSERT_TRUE(test::PumpUntil([&] { return Bar() != nullptr; }, 400));
  EXPECT_TRUE(BarShows());
  EXPECT_FALSE(::KillTimer(Host(), 1001));

  // Six failed ticks (1.2 s) and the retries end.
  ASSERT_EQ(host_->UpdateAccount(false, AccountEntry{}), S_OK);
  ::SetParent(tree.View(), tree.Frame());
  ASSERT_EQ(Show(0), S_OK);
  test::PumpFor(1500);
  ::SetParent(tree.View(), tree.Pane());
  test::PumpFor(500);
  EXPECT_EQ(Bar(), nullptr);
  EXPECT_FALSE(::KillTimer(Host(), 1001));

  // Leaving while the retries run ends them: the view coming back shows no bar without an account.
  ::SetParent(tree.View(), tree.Frame());
  ASSERT_EQ(Show(0), S_OK);
  ASSERT_EQ(host_->UpdateAccount(false, AccountEntry{}), S_OK);
  ::SetParent(tree.View(), tree.Pane());
  main_->Clear();
  EXPECT_FALSE(::KillTimer(Host(), 1001));
  // A tick already queued finds no account and attaches nothing.
  ::SendMessageW(Host(), WM_TIMER, 1001, 0);
  test::PumpFor(300);
  EXPECT_EQ(Bar(), nullptr);
  EXPECT_TRUE(Codes(*main_).empty());
}

TEST_F(HostObjectTest, ASecondNavigationThatAttachesEndsTheRetriesOfAFailedOne) {
  auto& tree = frame_->tree();
  ::SetParent(tree.View(), tree.Frame());
  ASSERT_EQ(Show(0), S_OK);  // fails: timer 1001 runs
  ::SetParent(tree.View(), tree.Pane());
  ASSERT_EQ(Show(0), S_OK);  // attaches on its own path
  const HWND bar = Bar();
  ASSERT_NE(bar, nullptr);
  test::PumpFor(800);
  EXPECT_EQ(Bar(), bar);  // no retry tick replaced the fresh bar
  EXPECT_TRUE(::IsWindow(bar));
  EXPECT_FALSE(::KillTimer(Host(), 1001));
}

TEST_F(HostObjectTest, TheItemsInputAsksForOneSelectionCheckAndAnUnchangedSelectionSendsNothing) {
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
  // A drag: twenty moves, one check waiting.
  for (int i = 0; i < 20; ++i) ::SendMessageW(items, WM_MOUSEMOVE, MK_LBUTTON, 0);
  EXPECT_TRUE(Posted(Host(), 0x1401));
  EXPECT_FALSE(Posted(Host(), 0x1401));
  ::SendMessageW(Host(), 0x1401, 0, 0);  // the check that was removed, done by hand

  struct Case {
    std::vector<std::wstring> selection;
    std::vector<DWORD> codes;
    std::string flag;  // the byte of the 33792 sent, if any
  };
  // The flag goes out while on and once when it turns off; the count when it crosses zero; an
  // unchanged selection nothing at all.
  const Case cases[] = {
      {{sync_ + L"\\a.txt"}, {33792, 33788}, "\x01"},
      {{sync_ + L"\\a.txt"}, {}, ""},
      {{sync_ + L"\\a.txt", sync_ + L"\\Sub"}, {33792}, "\x01"},
      {{sync_ + L"\\Sub"}, {33792}, "\x01"},
      {{}, {33792, 33788}, std::string(1, '\0')},
      {{}, {}, ""},
  };
  for (const Case& c : cases) {
    frame_->SetSelection(c.selection);
    main_->Clear();
    ::SendMessageW(Host(), 0x1401, 0, 0);
    EXPECT_EQ(Codes(*main_), c.codes) << c.selection.size();
    for (const auto& message : main_->Received(WM_COPYDATA)) {
      if (message.code == 33792) {
        EXPECT_EQ(message.payload, c.flag) << c.selection.size();
      }
    }
  }
  // The view cannot be moved back under the bar while it shows.
  ::SetWindowPos(frame_->tree().View(), nullptr, 0, 0, 300, 300, SWP_NOZORDER | SWP_NOACTIVATE);
  EXPECT_EQ(ViewTop(), 39);
}

}  // namespace
}  // namespace quillan
