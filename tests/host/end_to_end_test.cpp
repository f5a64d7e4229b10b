// The registered DLL as Explorer loads it, in Explorer stand-in processes, with the desktop stand-in as
// the application: the bar of an account that is not logged in from entering its folder to leaving it,
// the records the application gets meanwhile, and the maintenance export closing every window that
// has a host window, in any process.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "shell_dll.h"
#include "desktop_app_driver.h"
#include "explorer_driver.h"
#include "host_fixture.h"
#include "window_tree.h"

namespace quillan {
namespace {

using test::Bytes;
using test::DesktopAppRecord;

std::wstring Quoted(const std::wstring& path) { return L"\"" + path + L"\""; }

// The bar: the dialog inside the folder view's pane of the stand-in's frame (window handles are the
// same in every process).
HWND BarOf(HWND frame) {
  const HWND view = standin::FindDescendant(frame, L"SHELLDLL_DefView", false);
  return view ? standin::FindDescendant(::GetParent(view), L"#32770", false) : nullptr;
}

TEST(EndToEnd, TheBarOfAnAccountThatIsNotLoggedInFollowsTheFolderAndTheExportClosesEveryWindow) {
  struct Registration {
    Registration() { EXPECT_EQ(test::RunRegsvr32(L""), 0u); }
    ~Registration() { test::RunRegsvr32(L"/u"); }  // a failure leaves keys no later test relies on
  } registration;
  test::AccountFiles accounts(test::PrefixAppData(), true);
  test::TempDir folders;
  const std::wstring sync = folders / L"Sync 同步", outside = folders / L"Elsewhere";
  ASSERT_TRUE(test::MakeDirs(sync + L"\\docs") && test::MakeDirs(outside) && test::WriteBytes(sync + L"\\a.txt", "a"));
  accounts.AddSyncAccount({L"uid-a", L"eid-a", sync, L"user-a", L"", L"Ent A"});
  test::DesktopAppStandin app;
  ASSERT_TRUE(app.Start());
  test::ExplorerStandin explorer;
  ASSERT_TRUE(explorer.Start({L"", {}}));
  const HWND frame = explorer.WaitForFrame();
  ASSERT_TRUE(frame);
  const int height = test::At120Dpi() ? 48 : 39;

  // Entering: the bar record at once, 300 ms and 1000 ms later, and with each revalidation (3 s).
  ASSERT_TRUE(explorer.Run(L"navigate " + Quoted(sync)));
  ASSERT_TRUE(app.WaitForRecords(33777, 5, 10000));
  const HWND bar = BarOf(frame), view = standin::FindDescendant(frame, L"SHELLDLL_DefView", false);
  ASSERT_TRUE(bar && view) << explorer.Log();
  RECT pane = {};
  ::GetClientRect(::GetParent(bar), &pane);
  const RECT placed = test::RectInParent(bar), pushed = test::RectInParent(view);
  EXPECT_EQ(std::vector<LONG>({placed.left, placed.top, placed.right, placed.bottom}),
            std::vector<LONG>({0, 0, pane.right, height}));
  EXPECT_TRUE(::IsWindowVisible(bar));
  EXPECT_EQ(std::vector<LONG>({pushed.top, pushed.bottom}), std::vector<LONG>({height, pane.bottom}));
  for (int id : {1002, 1003, 1004, 1000, 1001}) EXPECT_TRUE(::IsWindowVisible(::GetDlgItem(bar, id))) << id;
  ASSERT_TRUE(test::MakeDirs(test::BinDir() + L"\\..\\pictures"));
  ASSERT_TRUE(explorer.Run(L"picture " + Quoted(test::BinDir() + L"\\..\\pictures\\bar-not-logged-in.png")));

  const std::vector<DesktopAppRecord> sent = app.Records(33777);
  HWND host = nullptr;  // this stand-in's host window
  DWORD pid = 0;
  while ((host = ::FindWindowExW(nullptr, host, L"{DE16D8FE-F468-49A7-85B4-414CF06C72E5}", nullptr)) &&
         (::GetWindowThreadProcessId(host, &pid), pid != explorer.pid())) {
  }
  const std::string expected = Bytes().Handle(host).Text(L"uid-a", 32).Text(L"eid-a", 100)
                                   .Text(L"user-a", 1024).Text(L"Ent A", 1024).Int(1, 4).Int(0, 4)
                                   .Handle(bar).Int(0, 4).str();
  for (const DesktopAppRecord& record : sent) EXPECT_EQ(std::string(record.payload.begin(), record.payload.end()), expected);
  // The 200 ms timer sends each at its first tick after the interval; the application notes the time a
  // little after the host, so an interval may come out a tick of the clock short.
  const DWORD intervals[] = {sent[1].tick - sent[0].tick, sent[2].tick - sent[1].tick, sent[3].tick - sent[0].tick,
                             sent[4].tick - sent[3].tick};
  const DWORD low[] = {280, 980, 2980, 280}, high[] = {590, 1290, 3500, 590};
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(intervals[i] >= low[i] && intervals[i] < high[i]) << i << ": " << intervals[i];

  // The view rebuilds its items window: the new one is watched and its selection reported afresh.
  ASSERT_TRUE(explorer.Run(L"navigate docs --view=keep; navigate .. --view=keep; rebuild"));
  ASSERT_TRUE(app.WaitForRecords(33788, 1, 3000));
  ASSERT_TRUE(explorer.Run(L"select --by=click a.txt"));
  ASSERT_TRUE(app.WaitForRecords(33788, 2, 3000));
  const std::vector<DesktopAppRecord> states = app.Records(33788);
  for (uint32_t count : {0u, 1u}) {
    EXPECT_EQ(std::string(states[count].payload.begin(), states[count].payload.end()),
              Bytes().Text(L"uid-a", 32).Text(L"eid-a", 100).Handle(frame).Int(count, 4).str());
  }

  // Leaving every sync folder: the bar goes and the view has the pane's full height again.
  ASSERT_TRUE(explorer.Run(L"navigate " + Quoted(outside) + L" --view=keep"));
  EXPECT_FALSE(BarOf(frame));
  EXPECT_EQ(test::RectInParent(standin::FindDescendant(frame, L"SHELLDLL_DefView", false)).top, 0);

  // A second window inside the account, then the export: both windows close as if their users had
  // closed them, and the one inside an account tells the application it quits. A host window of this
  // thread whose class name was registered in lower case is asked too, once, with no payload; a window
  // of another class is not; one whose thread is hung costs the 500 ms of its send.
  ASSERT_TRUE(explorer.Run(L"new-window --path=" + Quoted(sync + L"\\docs")));
  ASSERT_TRUE(explorer.WaitForFrame(2));
  test::RecordingWindow lower(L"{de16d8fe-f468-49a7-85b4-414cf06c72e5}");
  test::RecordingWindow other(L"{DE16D8FE-F468-49A7-85B4-414CF06C72E6}");
  UniqueHandle done(::CreateEventW(nullptr, TRUE, FALSE, nullptr)), made(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  std::thread hung([&] {
    HWND window = ::CreateWindowExW(0, L"{DE16D8FE-F468-49A7-85B4-414CF06C72E5}", L"", WS_POPUP, 0, 0, 0, 0, nullptr,
                                    nullptr, ::GetModuleHandleW(nullptr), nullptr);
    ::SetEvent(made.get());
    ::WaitForSingleObject(done.get(), INFINITE);  // takes no message meanwhile
    ::DestroyWindow(window);
  });
  ::WaitForSingleObject(made.get(), INFINITE);
  test::ShellDll dll;
  ASSERT_TRUE(dll.loaded());
  const DWORD start = ::GetTickCount();
  EXPECT_EQ(dll.closeExplorerWithCloudBar(), 0);
  const DWORD elapsed = ::GetTickCount() - start;
  ::SetEvent(done.get());
  hung.join();
  EXPECT_GE(elapsed, 480u);
  EXPECT_LT(elapsed, 900u);
  ASSERT_EQ(lower.Received().size(), 1u);
  EXPECT_EQ(lower.Received()[0].code, 33774u);
  EXPECT_EQ(lower.Received()[0].payload, "");
  EXPECT_TRUE(other.Received().empty());
  ASSERT_TRUE(explorer.WaitExit(20000)) << explorer.Log();
  EXPECT_EQ(explorer.ExitCode(), 0u) << explorer.Log();
  const auto quits = explorer.Records(L"quit");
  ASSERT_EQ(quits.size(), 2u);
  for (const test::StandinRecord& quit : quits) {  // every reference given back, every sink gone
    EXPECT_EQ(quit.Text(L"setsite-null") + L" " + quit.Text(L"band-release") + L" " + quit.Text(L"sinks-left") + L" " +
                  quit.Text(L"leaked-refs"),
              L"0x00000000 0 0 0");
  }
  const std::vector<DesktopAppRecord> notices = app.Records(33782);
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(std::string(notices[0].payload.begin(), notices[0].payload.end()),
            Bytes().Text(L"uid-a", 32).Text(L"eid-a", 100).Int(2, 4).Text(L"", 1024).str());
}

}  // namespace
}  // namespace quillan
