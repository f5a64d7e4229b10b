// The DLL in Explorer stand-in processes with the desktop stand-in as the application: the login link,
// a logged-in account's bar with the application's window, the selection records, the worker's list,
// closing, and the list-view layout of version 5.2.
#include <gtest/gtest.h>

#include "base/handle.h"
#include "base/text.h"
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

std::vector<uint8_t> Bytes(const std::vector<DesktopAppRecord>& records) {
  std::vector<uint8_t> flags;
  for (const DesktopAppRecord& record : records) flags.push_back(record.payload.empty() ? 0xFF : record.payload[0]);
  return flags;
}

std::vector<uint32_t> Counts(const std::vector<DesktopAppRecord>& records) {
  std::vector<uint32_t> counts;
  for (const DesktopAppRecord& record : records) {
    SelectionStateRecord state;
    counts.push_back(ParseSelectionStateRecord(record.payload.data(), record.payload.size(), &state) ? state.count : 99);
  }
  return counts;
}

// A click on a window of another process, as the mouse gives it.
void Click(HWND window, int x, int y) {
  DWORD_PTR ignored = 0;
  ::SendMessageTimeoutW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y), SMTO_NORMAL, 10000, &ignored);
  ::SendMessageTimeoutW(window, WM_LBUTTONUP, 0, MAKELPARAM(x, y), SMTO_NORMAL, 10000, &ignored);
}

TEST(HostEndToEnd, TheLoginLinkAsksTheApplicationToLogInOrStartsItForTheLogin) {
  test::AccountFiles accounts(test::PrefixAppData(), true);
  test::TempDir folders;
  const std::wstring sync = folders / L"Sync";
  ASSERT_TRUE(test::MakeDirs(sync));
  accounts.AddSyncAccount(L"uid-l", L"eid-l", sync, L"user-l", L"Ent L");
  // The application lies in the parent folder of the module's folder.
  test::TempDir install;
  const std::wstring dll = install / L"bin\\QuillanShellUI.dll";
  ASSERT_TRUE(test::CopyTo(test::ShellDll::Path(), dll));
  ASSERT_TRUE(test::CopyTo(test::BinDir() + L"\\desktop-app-standin.exe", install / L"VelQuillanUI.exe"));
  test::DesktopAppStandin app;
  ASSERT_TRUE(app.Start());
  test::ExplorerStandin explorer;
  ASSERT_TRUE(explorer.Start({L"navigate " + Quoted(sync), {L"--dll=" + dll}}));
  ASSERT_TRUE(app.WaitForRecords(to_main::kBarNotLoggedIn, 1, 20000));
  Dump dump(explorer);
  const StandinRecord* bar = dump.Role(L"pane") ? dump.BarIn(*dump.Role(L"pane")) : nullptr;
  ASSERT_TRUE(bar && dump.Class(kHostWindowClass));
  const HWND link = ::GetDlgItem(bar->Window(L"hwnd"), 1001);
  RECT linkRect = {};
  ASSERT_TRUE(link && ::GetClientRect(link, &linkRect));

  Click(link, 3, linkRect.bottom / 2);
  const std::vector<uint8_t> login = BuildBarRecord(dump.Class(kHostWindowClass)->Window(L"hwnd"),
                                                    bar->Window(L"hwnd"), L"uid-l", L"eid-l", L"user-l", L"Ent L", 0, 1)
                                         ->payload;
  EXPECT_TRUE(test::PumpUntil(
      [&] {
        for (const DesktopAppRecord& record : app.Records(to_main::kBarNotLoggedIn)) {
          if (record.payload == login) return true;
        }
        return false;
      },
      3000));
  ASSERT_TRUE(explorer.Run(L"picture " + Quoted(test::PictureFolder() + L"\\bar-login-clicked.png")));

  // No application: the click starts it, from its own folder, for the login.
  app.Stop();
  Click(link, 3, linkRect.bottom / 2);
  std::string start;
  ASSERT_TRUE(test::PumpUntil(
      [&] {
        for (const std::string& line : test::ReadStandinLog(install / L"VelQuillanUI.log")) {
          if (test::JsonEvent(line) == "start") start = line;
        }
        return !start.empty();
      },
      10000));
  bool loginArgument = false;
  std::wstring cwd;
  int64_t pid = 0;
  EXPECT_TRUE(test::JsonBool(start, "cloudbarlogin", &loginArgument) && loginArgument) << start;
  EXPECT_TRUE(test::JsonText(start, "cwd", &cwd) && EqualsNoCaseAZ(cwd, install.path())) << start;
  ASSERT_TRUE(test::JsonInt(start, "pid", &pid));
  UniqueHandle launched(::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, static_cast<DWORD>(pid)));
  std::wstring quit = L"quit";
  COPYDATASTRUCT command = {test::kStandinControlCode, static_cast<DWORD>(quit.size() * 2), &quit[0]};
  DWORD_PTR answer = 0;
  ::SendMessageTimeoutW(FindMainWindow(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&command), SMTO_NORMAL, 5000,
                        &answer);
  if (launched && ::WaitForSingleObject(launched.get(), 10000) != WAIT_OBJECT_0) ::TerminateProcess(launched.get(), 1);
  ASSERT_TRUE(explorer.Run(L"quit"));
  ASSERT_TRUE(explorer.WaitExit(20000));
  EXPECT_EQ(explorer.ExitCode(), 0u) << explorer.Log();
}

TEST(HostEndToEnd, ALoggedInAccountsBarHostsTheApplicationsWindowAndReportsTheSelection) {
  Registration registration;
  test::AccountFiles accounts(test::PrefixAppData(), true);
  test::TempDir folders;
  const std::wstring sync = folders / L"Root\\Sync B";
  ASSERT_TRUE(test::MakeDirs(sync + L"\\Old") && test::MakeDirs(sync + L"\\Sub"));
  ASSERT_TRUE(test::WriteBytes(sync + L"\\a.txt", "a") && test::WriteBytes(sync + L"\\b.txt", "b"));
  accounts.AddProfileAccount(L"uid-b", L"eid-b", sync, L"user-b", L"Ent B");
  accounts.WriteNonSynced(L"uid-b", L"eid-b", L"\\Old\r\n");
  test::DesktopAppStandin app;
  ASSERT_TRUE(app.Start());
  test::ExplorerStandin explorer;
  ASSERT_TRUE(explorer.Start({L"new-window", {}}));  // a second window keeps the program up after the first quits
  ASSERT_TRUE(explorer.Run(L"window 1; navigate " + Quoted(sync) +
                           L"; waitfor DesktopAppStandinAccountWindow 10000; wait 300"));
  const HWND frame = explorer.WaitForFrame(1);

  // The application's window in the bar, which is shown and tells the application its size.
  Dump dump(explorer);
  const StandinRecord* pane = dump.Role(L"pane");
  const StandinRecord* bar = pane ? dump.BarIn(*pane) : nullptr;
  const StandinRecord* host = dump.Class(kHostWindowClass);
  const StandinRecord* external = dump.Class(L"DesktopAppStandinAccountWindow");
  ASSERT_TRUE(bar && host && external) << explorer.Log();
  EXPECT_TRUE(test::Visible(*bar) && test::Visible(*external));
  EXPECT_EQ(dump.Parent(*external), bar);
  EXPECT_EQ(bar->Number(L"width"), pane->Number(L"client-width"));
  EXPECT_EQ(bar->Number(L"height"), 39);
  EXPECT_EQ(dump.Role(L"view")->Number(L"y"), 39);
  EXPECT_EQ(external->Number(L"width"), bar->Number(L"width"));
  const HWND hostWindow = host->Window(L"hwnd");
  const HWND externalWindow = external->Window(L"hwnd");
  const std::vector<DesktopAppRecord> bars = app.Records(to_main::kBarLoggedIn);
  ASSERT_EQ(bars.size(), 1u);
  EXPECT_EQ(bars[0].payload,
            BuildBarRecord(hostWindow, bar->Window(L"hwnd"), L"uid-b", L"eid-b", L"user-b", L"Ent B", 1, 0)->payload);
  EXPECT_EQ(app.Records(to_main::kBarSize).back().payload,
            BuildBarSizeRecord(L"uid-b", L"eid-b", externalWindow, static_cast<int32_t>(bar->Number(L"width")), 39)
                ->payload);
  ASSERT_TRUE(explorer.Run(L"picture " + Quoted(test::PictureFolder() + L"\\bar-logged-in.png")));

  // Each resize reaches the application within a tick of the host's timer.
  for (int width : {700, 560}) {
    const size_t sizes = app.Records(to_main::kBarSize).size();
    const DWORD before = ::GetTickCount();
    ASSERT_TRUE(explorer.Run(L"resize " + std::to_wstring(width) + L" 480"));
    ASSERT_TRUE(app.WaitForRecords(to_main::kBarSize, sizes + 1, 3000));
    const DesktopAppRecord size = app.Records(to_main::kBarSize).back();
    EXPECT_LT(size.tick - before, 450u);
    Dump resized(explorer);
    ASSERT_TRUE(resized.Role(L"pane"));
    EXPECT_EQ(size.payload, BuildBarSizeRecord(L"uid-b", L"eid-b", externalWindow,
                                               static_cast<int32_t>(resized.Role(L"pane")->Number(L"client-width")), 39)
                                ->payload);
  }

  // The selection: clicks and keys in the items window; \Old is not synced.
  ASSERT_TRUE(explorer.Run(L"select --by=click a.txt; select --by=key b.txt; select --by=click Old; select --by=none; "
                           L"input WM_KEYUP 40"));
  ASSERT_TRUE(app.WaitForRecords(to_main::kSelectionState, 3, 3000));
  ASSERT_TRUE(app.WaitForRecords(to_main::kSelectionFlag, 3, 3000));
  EXPECT_EQ(Counts(app.Records(to_main::kSelectionState)), (std::vector<uint32_t>{0, 1, 0}));
  // Each change once: an unchanged selection sends nothing.
  EXPECT_EQ(Bytes(app.Records(to_main::kSelectionFlag)), (std::vector<uint8_t>{1, 1, 0}));
  EXPECT_EQ(app.Records(to_main::kSelectionState)[1].payload,
            BuildSelectionStateRecord(L"uid-b", L"eid-b", frame, 1)->payload);
  ASSERT_TRUE(explorer.Run(L"select --by=none " + Quoted(sync + L"\a.txt") + L"; picture " +
                           Quoted(test::PictureFolder() + L"\\bar-selection.png")));

  // The worker reads the list again within 2 s: now \Sub is the one not synced.
  accounts.WriteNonSynced(L"uid-b", L"eid-b", L"\\Sub\r\n");
  ASSERT_TRUE(explorer.Run(L"wait 2500; select --by=click Old; select --by=key Sub"));
  ASSERT_TRUE(app.WaitForRecords(to_main::kSelectionFlag, 5, 3000));
  EXPECT_EQ(Bytes(test::RecordsFrom(app, to_main::kSelectionFlag, 3)), (std::vector<uint8_t>{1, 0}));

  // Requests for the selection: 33783 answered with 33784, 33793 with 33787; only for this account's
  // window and key.
  const std::vector<std::wstring> selected = {sync + L"\\Sub"};
  EXPECT_TRUE(SendRecord(hostWindow, *BuildWindowRecord(to_host::kRequestSelectedFiles, L"uid-b", L"eid-b", hostWindow),
                         SMTO_NORMAL, 5000));
  EXPECT_TRUE(SendRecord(hostWindow,
                         *BuildWindowRecord(to_host::kRequestSelectedFiles, L"uid-b", L"eid-b", externalWindow),
                         SMTO_NORMAL, 5000));
  EXPECT_TRUE(SendRecord(hostWindow, *BuildWindowRecord(to_host::kRequestSelection, L"uid-b", L"eid-x", externalWindow),
                         SMTO_NORMAL, 5000));
  EXPECT_TRUE(SendRecord(hostWindow, *BuildWindowRecord(to_host::kRequestSelection, L"uid-b", L"eid-b", externalWindow),
                         SMTO_NORMAL, 5000));
  ASSERT_TRUE(app.WaitForRecords(to_main::kShare, 1, 3000));
  test::PumpFor(300);
  ASSERT_EQ(app.Records(to_main::kSelectedFiles).size(), 1u);
  EXPECT_EQ(app.Records(to_main::kSelectedFiles)[0].payload,
            BuildSelectedFilesReply(L"uid-b", L"eid-b", WindowToWire(externalWindow), selected)->payload);
  ASSERT_EQ(app.Records(to_main::kShare).size(), 1u);
  EXPECT_EQ(app.Records(to_main::kShare)[0].payload, BuildShareRecord(frame, selected)->payload);

  // Closing the window: the quit notice, and the window's thread and the worker end with it.
  const int threads = test::ThreadCount(explorer.pid());
  ASSERT_TRUE(explorer.Run(L"quit"));
  ASSERT_EQ(app.Records(to_main::kAccountAction).size(), 1u);
  EXPECT_EQ(app.Records(to_main::kAccountAction)[0].payload, BuildAccountActionRecord(L"uid-b", L"eid-b", 2)->payload);
  EXPECT_TRUE(test::PumpUntil([&] { return test::ThreadCount(explorer.pid()) <= threads - 2; }, 2000))
      << threads << " " << test::ThreadCount(explorer.pid());

  // The maintenance export closes every Explorer window that runs the band, bar or no bar.
  ASSERT_TRUE(explorer.Run(L"window 2; navigate " + Quoted(sync) +
                           L"; waitfor DesktopAppStandinAccountWindow 10000; picture " +
                           Quoted(test::PictureFolder() + L"\\bar-before-close.png") + L"; new-window --path=" +
                           Quoted(folders.path())));
  test::ShellDll dll;
  ASSERT_TRUE(dll.loaded());
  EXPECT_EQ(dll.closeExplorerWithCloudBar(), 0);
  ASSERT_TRUE(explorer.WaitExit(20000));
  EXPECT_EQ(explorer.ExitCode(), 0u) << explorer.Log();
  EXPECT_EQ(explorer.Records(L"closed").size(), 3u);
}

TEST(HostEndToEnd, OnVersion52TheBarIsCreatedInsideTheListViewLayoutsPane) {
  Registration registration;
  test::AccountFiles accounts(test::PrefixAppData(), true);
  test::TempDir folders;
  const std::wstring sync = folders / L"Sync";
  ASSERT_TRUE(test::MakeDirs(sync) && test::WriteBytes(sync + L"\\a.txt", "a"));
  accounts.AddSyncAccount(L"uid-x", L"eid-x", sync, L"user-x", L"Ent X");
  test::DesktopAppStandin app;
  ASSERT_TRUE(app.Start());
  test::ExplorerStandin explorer;
  ASSERT_TRUE(explorer.Start({L"navigate " + Quoted(sync) + L"; new-window --layout=xp-dui --path=" + Quoted(sync),
                              {},
                              L"winxp64"}));
  ASSERT_TRUE(app.WaitForRecords(to_main::kBarNotLoggedIn, 2, 20000));
  ASSERT_TRUE(explorer.Run(L"wait 300"));
  // Plain list view: the bar inside the folder view itself, the list pushed down. With the task pane:
  // inside the pane that holds the list.
  for (int window : {1, 2}) {
    ASSERT_TRUE(explorer.Run(L"window " + std::to_wstring(window)));
    Dump dump(explorer);
    const StandinRecord* parent = dump.Role(window == 1 ? L"view" : L"pane");
    const StandinRecord* items = dump.Role(L"items");
    ASSERT_TRUE(parent && items) << explorer.Log();
    const StandinRecord* bar = dump.BarIn(*parent);
    ASSERT_TRUE(bar) << explorer.Log();
    EXPECT_EQ(dump.Parent(*items), parent);
    EXPECT_TRUE(test::Visible(*bar));
    EXPECT_EQ(bar->Number(L"width"), parent->Number(L"client-width"));
    EXPECT_EQ(bar->Number(L"height"), 39);
    EXPECT_EQ(items->Number(L"y"), 39);
    EXPECT_EQ(items->Number(L"height"), parent->Number(L"client-height") - 39);
    ASSERT_TRUE(explorer.Run(L"picture " +
                             Quoted(test::PictureFolder() + (window == 1 ? L"\\bar-xp.png" : L"\\bar-xp-dui.png"))));
  }
  // On this layout the capture change that ends a click and a key release reveal the selection.
  ASSERT_TRUE(explorer.Run(L"window 1; select --by=click a.txt; select --by=key"));
  ASSERT_TRUE(app.WaitForRecords(to_main::kSelectionFlag, 2, 3000));
  EXPECT_EQ(Counts(app.Records(to_main::kSelectionState)), (std::vector<uint32_t>{1, 0}));
  EXPECT_EQ(Bytes(app.Records(to_main::kSelectionFlag)), (std::vector<uint8_t>{1, 0}));
  ASSERT_TRUE(explorer.Run(L"exit"));
  ASSERT_TRUE(explorer.WaitExit(20000));
  EXPECT_EQ(explorer.ExitCode(), 0u) << explorer.Log();
}

}  // namespace
}  // namespace quillan
