// explorer-standin.exe driven through the tests' helper: scripts and later steps run, the layout
// follows the Windows version the program sees, and closing the frame runs Explorer's quit sequence.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/text.h"
#include "explorer_standin.h"
#include "test_support.h"

namespace quillan::test {
namespace {

const StandinRecord* FindWindowRecord(const std::vector<StandinRecord>& windows, const std::wstring& role) {
  for (const auto& record : windows) {
    if (record.Text(L"role") == role) return &record;
  }
  return nullptr;
}

TEST(StandinProgram, RunsScriptsAndLaterStepsAndReportsTheTree) {
  TempDir folder;
  ASSERT_TRUE(WriteBytes(folder / L"a.txt", "a"));
  ExplorerStandin explorer;
  ASSERT_TRUE(explorer.Start({L"navigate \"" + folder.path() + L"\"\nselect a.txt", {L"--band=none", L"--size=700x500"}}));
  HWND frame = explorer.WaitForFrame();
  ASSERT_NE(frame, nullptr) << explorer.Log();
  EXPECT_EQ(FindExplorerFrame(explorer.pid()), frame);
  ASSERT_TRUE(explorer.WaitForRecord(L"done", [](const StandinRecord& r) { return r.Number(L"batch") == 0; }, 20000));

  std::wstring picture = folder / L"frame.png";
  ASSERT_TRUE(explorer.Run(L"resize 640 480; dump; picture \"" + picture + L"\"")) << explorer.Log();
  auto windows = explorer.Records(L"window");
  const StandinRecord* pane = FindWindowRecord(windows, L"pane");
  const StandinRecord* view = FindWindowRecord(windows, L"view");
  const StandinRecord* root = FindWindowRecord(windows, L"frame");
  ASSERT_TRUE(pane && view && root) << explorer.Log();
  EXPECT_EQ(root->Number(L"width"), 640);
  EXPECT_EQ(pane->Text(L"class"), L"CtrlNotifySink");
  EXPECT_EQ(pane->Number(L"width"), root->Number(L"client-width") - 160);
  EXPECT_EQ(pane->Number(L"height"), root->Number(L"client-height") - 30);
  EXPECT_EQ(view->Number(L"parent"), pane->Number(L"index"));
  EXPECT_EQ(view->Number(L"height"), pane->Number(L"height"));
  auto navigations = explorer.Records(L"navigate");
  ASSERT_EQ(navigations.size(), 1u);
  EXPECT_EQ(navigations[0].Text(L"path"), folder.path());
  EXPECT_EQ(navigations[0].Window(L"view"), view->Window(L"hwnd")) << "the view changed without a navigation";

  std::string png;
  ASSERT_TRUE(ReadBytes(picture, &png));
  ASSERT_GT(png.size(), 24u);
  EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1A\n", 8));
  auto bigEndian = [&](size_t at) {
    return (static_cast<unsigned char>(png[at]) << 24) | (static_cast<unsigned char>(png[at + 1]) << 16) |
           (static_cast<unsigned char>(png[at + 2]) << 8) | static_cast<unsigned char>(png[at + 3]);
  };
  EXPECT_EQ(bigEndian(16), 640u);
  EXPECT_EQ(bigEndian(20), 480u);

  EXPECT_FALSE(explorer.Run(L"no-such-step"));
  ASSERT_TRUE(explorer.Run(L"quit"));
  ASSERT_TRUE(explorer.WaitExit(20000));
  EXPECT_EQ(explorer.ExitCode(), 3u) << "a refused batch counts as an error";
  EXPECT_EQ(explorer.Records(L"closed").size(), 1u);
}

TEST(StandinProgram, AProgramClaimingVersion52GetsTheListViewLayout) {
  ExplorerStandin explorer;
  ASSERT_TRUE(explorer.Start({L"dump\nquit", {L"--band=none", L"--hidden"}, L"winxp64"}));
  ASSERT_TRUE(explorer.WaitExit(30000)) << explorer.Log();
  EXPECT_EQ(explorer.ExitCode(), 0u) << explorer.Log();
  auto start = explorer.Records(L"start");
  ASSERT_EQ(start.size(), 1u);
  EXPECT_EQ(start[0].Text(L"version"), L"5.2");
  EXPECT_EQ(start[0].Text(L"layout"), L"xp");
  auto windows = explorer.Records(L"window");
  const StandinRecord* items = FindWindowRecord(windows, L"items");
  ASSERT_NE(items, nullptr) << explorer.Log();
  EXPECT_EQ(items->Text(L"class"), L"SysListView32");
  const StandinRecord& parent = windows[static_cast<size_t>(items->Number(L"parent"))];
  EXPECT_EQ(parent.Text(L"class"), L"SHELLDLL_DefView");
  EXPECT_TRUE(parent.Flag(L"pane")) << "the bar goes into the view itself on this layout";
  EXPECT_EQ(windows[static_cast<size_t>(parent.Number(L"parent"))].Text(L"class"), L"CabinetWClass");
}

TEST(StandinProgram, SysCommandCloseRunsTheQuitSequenceOfThatWindowOnly) {
  TempDir folder;
  ExplorerStandin explorer;
  ASSERT_TRUE(explorer.Start({L"navigate \"" + folder.path() + L"\"\nnew-window --path=\"" + folder.path() + L"\"",
                              {L"--band=none"}}));
  HWND first = explorer.WaitForFrame(1);
  HWND second = explorer.WaitForFrame(2);
  ASSERT_TRUE(first && second) << explorer.Log();
  EXPECT_NE(first, second);
  EXPECT_NE(::GetWindowThreadProcessId(first, nullptr), ::GetWindowThreadProcessId(second, nullptr));

  // What a host window does on the close request: post SC_CLOSE to its frame.
  ASSERT_TRUE(::PostMessageW(first, WM_SYSCOMMAND, SC_CLOSE, 0));
  ASSERT_TRUE(explorer.WaitForRecord(L"closed", [](const StandinRecord& r) { return r.Number(L"frame") == 1; }, 20000))
      << explorer.Log();
  EXPECT_FALSE(explorer.WaitExit(200)) << "the other window's process ended too";
  std::vector<std::wstring> sequence;
  for (const auto& record : explorer.Records()) {
    if (record.Number(L"frame") == 1 && (record.type == L"syscommand" || record.type == L"quit" || record.type == L"closed")) {
      sequence.push_back(record.type);
    }
  }
  EXPECT_EQ(sequence, (std::vector<std::wstring>{L"syscommand", L"quit", L"closed"}));

  ASSERT_TRUE(::PostMessageW(second, WM_SYSCOMMAND, SC_CLOSE, 0));
  ASSERT_TRUE(explorer.WaitExit(20000)) << explorer.Log();
  EXPECT_EQ(explorer.ExitCode(), 0u) << explorer.Log();
}

std::vector<std::wstring> ReadLines(const std::wstring& path) {
  std::string bytes;
  std::vector<std::wstring> lines;
  if (!ReadBytes(path, &bytes)) return lines;
  size_t start = 0;
  for (size_t end = bytes.find('\n'); end != std::string::npos; start = end + 1, end = bytes.find('\n', start)) {
    lines.push_back(Utf8ToWide(bytes.substr(start, end - start)));
  }
  return lines;
}

// The tests' own helper and menu handler (standin_probe.dll) stand where the product's would.
TEST(StandinProgram, LoadsHelpersAsExplorerDoesAndPrintsTheirMenu) {
  TempDir folder;
  ASSERT_TRUE(WriteBytes(folder / L"a.txt", "a"));
  std::wstring probeLog = folder / L"probe.log";
  ASSERT_TRUE(::SetEnvironmentVariableW(L"QUILLAN_PROBE_LOG", probeLog.c_str()));
  ExplorerStandin explorer;
  std::wstring script = L"navigate \"" + folder.path() + L"\"\n"
                        L"menu --prefill=2 a.txt\n"
                        L"invoke --id=102\n"
                        L"invoke --verb=probe --plain\n"
                        L"quit\n";
  ASSERT_TRUE(explorer.Start({script, {L"--dll=" + BinDir() + L"\\standin_probe.dll", L"--hidden"}}));
  ASSERT_TRUE(explorer.WaitExit(30000)) << explorer.Log();
  ::SetEnvironmentVariableW(L"QUILLAN_PROBE_LOG", nullptr);
  EXPECT_EQ(explorer.ExitCode(), 0u) << explorer.Log();

  const std::wstring url = L"file:///" + folder.path();
  std::wstring slashed = url;
  for (auto& c : slashed) c = c == L'\\' ? L'/' : c;
  EXPECT_EQ(ReadLines(probeLog), (std::vector<std::wstring>{
                                     L"setsite site",
                                     L"services 0x00000000 0x00000000",
                                     L"advise 0x00000000",
                                     L"navigate " + slashed + L" view=SHELLDLL_DefView",
                                     L"init folder=" + folder.path() + L" item=" + (folder / L"a.txt"),
                                     L"query index=2 first=100",
                                     L"invoke offset=2 unicode=1",
                                     L"invoke verb=probe unicode=0",
                                     L"quit",
                                     L"unadvise 0x00000000",
                                     L"setsite null",
                                     L"band destroyed",
                                 }));

  auto items = explorer.Records(L"menu-item");
  ASSERT_EQ(items.size(), 6u) << explorer.Log();
  const StandinRecord& probe = items[2];
  EXPECT_EQ(probe.Text(L"text"), L"Probe 探针");
  EXPECT_EQ(probe.Number(L"id"), 100);
  EXPECT_EQ(probe.Text(L"data"), L"0x5549434D");
  EXPECT_EQ(probe.Text(L"checked"), L"16x16x32");
  EXPECT_TRUE(probe.Flag(L"same-checkmarks"));
  EXPECT_EQ(probe.Number(L"offset"), 0);
  EXPECT_EQ(probe.Text(L"verb"), L"probe");
  EXPECT_EQ(items[3].Text(L"kind"), L"separator");
  EXPECT_EQ(items[4].Text(L"text"), L"Probe sub");
  EXPECT_TRUE(items[4].Flag(L"submenu"));
  EXPECT_EQ(items[5].Number(L"level"), 1);
  EXPECT_EQ(items[5].Number(L"id"), 101);
  auto invokes = explorer.Records(L"invoke");
  ASSERT_EQ(invokes.size(), 2u);
  EXPECT_EQ(invokes[0].Number(L"offset"), 2);
  EXPECT_EQ(invokes[0].Text(L"hr"), L"0x80070057");

  auto quit = explorer.Records(L"quit");
  ASSERT_EQ(quit.size(), 1u);
  EXPECT_EQ(quit[0].Number(L"onquit-sinks"), 1);
  EXPECT_EQ(quit[0].Number(L"sinks-left"), 0);
  EXPECT_EQ(quit[0].Number(L"leaked-refs"), 0);
  EXPECT_EQ(quit[0].Text(L"band-release"), L"0");
  auto dll = explorer.Records(L"dll");
  ASSERT_EQ(dll.size(), 1u);
  EXPECT_EQ(dll[0].Text(L"can-unload"), L"0x00000000");
}

TEST(StandinProgram, AHelperThatCrashesEndsTheProgramWithALineSayingWhere) {
  TempDir folder;
  ExplorerStandin explorer;
  ASSERT_TRUE(explorer.Start({L"menu --background \"" + folder.path() + L"\"\ninvoke --verb=crash\nquit",
                              {L"--dll=" + BinDir() + L"\\standin_probe.dll", L"--hidden"}}));
  ASSERT_TRUE(explorer.WaitExit(30000)) << "the program waits on a debugger";
  EXPECT_EQ(explorer.ExitCode(), 4u) << explorer.Log();
  auto crash = explorer.Records(L"crash");
  ASSERT_EQ(crash.size(), 1u) << explorer.Log();
  EXPECT_EQ(crash[0].Text(L"code"), L"0xC0000005");
  EXPECT_NE(crash[0].Text(L"module").find(L"standin_probe.dll"), std::wstring::npos);
}

}  // namespace
}  // namespace quillan::test
