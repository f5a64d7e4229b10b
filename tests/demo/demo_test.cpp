// The demo's steps, run as scripts/demo.sh runs them (without looking at the pictures), with what each
// step must show checked from the stand-ins' own output: the records byte for byte through their
// parsers, the windows from the Explorer window's dumps, the menus item for item.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/text.h"
#include "config/sync_config.h"
#include "demo_session.h"
#include "ipc/records.h"
#include "test_support.h"

namespace quillan {
namespace {

using demo::DemoOptions;
using demo::DemoSession;
using test::DesktopAppRecord;
using test::StandinRecord;

const StandinRecord* Find(const std::vector<StandinRecord>& windows, const std::wstring& className,
                          const StandinRecord* parent = nullptr) {
  for (const StandinRecord& window : windows) {
    if (window.Text(L"class") == className && (!parent || window.Number(L"parent") == parent->Number(L"index"))) {
      return &window;
    }
  }
  return nullptr;
}

const StandinRecord* Pane(const std::vector<StandinRecord>& windows) {
  for (const StandinRecord& window : windows) {
    if (window.Text(L"pane") == L"true") return &window;
  }
  return nullptr;
}

std::vector<BarRecord> BarRecords(const std::vector<DesktopAppRecord>& records) {
  std::vector<BarRecord> bars;
  for (const DesktopAppRecord& record : records) {
    BarRecord bar;
    EXPECT_TRUE(ParseBarRecord(record.payload.data(), record.payload.size(), &bar)) << record.line;
    bars.push_back(bar);
  }
  return bars;
}

// "text" per item, "-" for a separator, indented by level.
std::vector<std::wstring> Items(const std::vector<StandinRecord>& menu) {
  std::vector<std::wstring> items;
  for (const StandinRecord& item : menu) {
    items.push_back(std::wstring(static_cast<size_t>(2 * item.Number(L"level")), L' ') +
                    (item.Text(L"kind") == L"separator" ? L"-" : item.Text(L"text")));
  }
  return items;
}

bool KeyExists(HKEY root, const std::wstring& path) {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  ::RegCloseKey(key);
  return true;
}

TEST(Demo, EveryStepShowsWhatItMustAndTheDemoLeavesNothingBehind) {
  const std::wstring appData = GetSpecialFolder(26);
  ASSERT_FALSE(appData.empty() || test::FileExists(appData + L"\\VelQuillan") ||
               test::FileExists(appData + L"\\VelQuillanWin"))
      << "the application's own configuration";
  test::TempDir dir;
  std::wstring story;
  DemoOptions options;
  options.binDir = test::BinDir();
  options.installDir = dir / L"Orrin";
  options.root = dir / L"folders";
  options.pictures = dir / L"pictures";
  options.print = [&story](const std::wstring& line) { story += line + L"\n"; };
  ASSERT_TRUE(test::MakeDirs(options.pictures));
  DemoSession demo(options);
  const demo::SampleAccount& first = demo.config().first();
  const demo::SampleAccount& second = demo.config().second();
  ASSERT_TRUE(demo.Prepare()) << story;

  // 1. Outside: no bar, no bar record.
  size_t mark = demo.app().Mark();
  EXPECT_TRUE(demo.RunStep(1)) << story;
  ASSERT_NE(Pane(demo.LastDump()), nullptr) << story;
  EXPECT_EQ(Find(demo.LastDump(), L"#32770"), nullptr);
  EXPECT_TRUE(demo.app().RecordsSince(mark, to_main::kBarNotLoggedIn).empty());
  EXPECT_TRUE(demo.app().RecordsSince(mark, to_main::kBarLoggedIn).empty());

  // 2. The first account's folder, then its junction folder: the login face across the top of the pane,
  // the view pushed down, and bar records (33777) naming the account and the bar.
  mark = demo.app().Mark();
  ASSERT_TRUE(demo.RunStep(2)) << story;
  std::vector<StandinRecord> windows = demo.LastDump();
  const StandinRecord* pane = Pane(windows);
  const StandinRecord* bar = Find(windows, L"#32770", pane);
  ASSERT_TRUE(pane && bar) << story;
  EXPECT_EQ(bar->Text(L"visible"), L"true");
  EXPECT_EQ(bar->Number(L"x"), 0);
  EXPECT_EQ(bar->Number(L"y"), 0);
  EXPECT_EQ(bar->Number(L"width"), pane->Number(L"client-width"));
  EXPECT_EQ(bar->Number(L"height"), 39);
  const StandinRecord* view = Find(windows, L"SHELLDLL_DefView", pane);
  ASSERT_NE(view, nullptr) << story;
  EXPECT_EQ(view->Number(L"y"), 39);
  std::vector<BarRecord> bars = BarRecords(demo.app().RecordsSince(mark, to_main::kBarNotLoggedIn));
  ASSERT_FALSE(bars.empty());
  for (const BarRecord& record : bars) {
    EXPECT_TRUE(record.key.Matches(first.userId, first.enterpriseId));
    EXPECT_EQ(record.userName, first.userName);
    EXPECT_EQ(record.enterpriseName, first.enterpriseName);
    EXPECT_EQ(record.alwaysOne, 1u);
    EXPECT_EQ(record.launch, 0u);
  }
  EXPECT_EQ(WindowFromWire(bars.back().barWindow), bar->Window(L"hwnd"));

  // 3. The login link: the bar record with the launch flag, then, with the application gone, the
  // application started from the folder above the DLL's with "/cloudbarlogin".
  mark = demo.app().Mark();
  ASSERT_TRUE(demo.RunStep(3)) << story;
  bars = BarRecords(demo.app().RecordsSince(mark, to_main::kBarNotLoggedIn));
  EXPECT_TRUE(std::any_of(bars.begin(), bars.end(), [&](const BarRecord& record) {
    return record.launch == 1 && record.key.Matches(first.userId, first.enterpriseId);
  }));
  std::vector<std::string> starts;
  const std::vector<std::string> lines = demo.app().Lines();
  for (size_t i = mark; i < lines.size(); ++i) {
    if (test::JsonEvent(lines[i]) == "start") starts.push_back(lines[i]);
  }
  ASSERT_EQ(starts.size(), 1u) << story;
  std::wstring commandLine;
  std::wstring folder;
  int64_t pid = 0;
  ASSERT_TRUE(test::JsonText(starts[0], "commandLine", &commandLine) && test::JsonText(starts[0], "cwd", &folder) &&
              test::JsonInt(starts[0], "pid", &pid));
  EXPECT_EQ(commandLine, L"\"" + options.installDir + L"\\VelQuillanUI.exe\" /cloudbarlogin");
  EXPECT_EQ(folder, options.installDir);
  EXPECT_TRUE(demo.app().Running());
  EXPECT_EQ(static_cast<int64_t>(demo.app().pid()), pid);

  // 4. The logged-in account: its bar record (33790), the application's window shown inside the bar and
  // filling it, before and after a resize, and the selection reports.
  mark = demo.app().Mark();
  ASSERT_TRUE(demo.RunStep(4)) << story;
  bars = BarRecords(demo.app().RecordsSince(mark, to_main::kBarLoggedIn));
  ASSERT_FALSE(bars.empty());
  EXPECT_TRUE(bars[0].key.Matches(second.userId, second.enterpriseId));
  EXPECT_EQ(bars[0].userName, second.userName);
  windows = demo.LastDump();
  pane = Pane(windows);
  bar = Find(windows, L"#32770", pane);
  ASSERT_TRUE(pane && bar) << story;
  const StandinRecord* embedded = Find(windows, L"DesktopAppStandinAccountWindow", bar);
  ASSERT_NE(embedded, nullptr) << story;
  EXPECT_EQ(bar->Text(L"visible") + embedded->Text(L"visible"), L"truetrue");
  EXPECT_EQ(embedded->Number(L"pid"), static_cast<long long>(demo.app().pid()));
  EXPECT_EQ(bar->Number(L"width"), pane->Number(L"client-width"));
  EXPECT_EQ(embedded->Number(L"width"), bar->Number(L"client-width"));
  EXPECT_EQ(embedded->Number(L"height"), bar->Number(L"client-height"));
  std::vector<long long> widths;
  for (const DesktopAppRecord& record : demo.app().RecordsSince(mark, to_main::kBarSize)) {
    BarSizeRecord size;
    ASSERT_TRUE(ParseBarSizeRecord(record.payload.data(), record.payload.size(), &size));
    EXPECT_TRUE(size.key.Matches(second.userId, second.enterpriseId));
    EXPECT_EQ(WindowFromWire(size.externalWindow), embedded->Window(L"hwnd"));
    widths.push_back(size.right);
  }
  ASSERT_GE(widths.size(), 2u);
  EXPECT_LT(widths.front(), widths.back());  // the window grew with the frame
  EXPECT_EQ(widths.back(), bar->Number(L"client-width"));
  std::vector<std::vector<uint8_t>> flags;
  for (const DesktopAppRecord& record : demo.app().RecordsSince(mark, to_main::kSelectionFlag)) flags.push_back(record.payload);
  ASSERT_FALSE(flags.empty());
  EXPECT_EQ(flags.front(), std::vector<uint8_t>{1});  // a file of the account
  EXPECT_EQ(flags.back(), std::vector<uint8_t>{0});   // its non-synced folder

  // 5. The menus of a file inside, of the background inside and of a file outside, item for item.
  ASSERT_TRUE(demo.RunStep(5)) << story;
  ASSERT_EQ(demo.menus().size(), 3u);
  EXPECT_THAT(Items(demo.menus()[0]),
              testing::ElementsAre(L"-", L"Orrin", L"  优先上传到云盘", L"  -", L"  分享", L"  -", L"  历史版本", L"  -",
                                   L"  访问网页版", L"  进入云盘回收站", L"-"));
  EXPECT_THAT(Items(demo.menus()[1]), testing::ElementsAre(L"-", L"Orrin", L"  访问网页版", L"  进入云盘回收站", L"-"));
  EXPECT_THAT(Items(demo.menus()[2]), testing::ElementsAre(L"同步到Orrin", L"-"));

  // 6. "分享": the share record names the file.
  mark = demo.app().Mark();
  ASSERT_TRUE(demo.RunStep(6)) << story;
  const std::vector<DesktopAppRecord> shares = demo.app().RecordsSince(mark, to_main::kShare);
  ASSERT_EQ(shares.size(), 1u);
  ShareRecord share;
  ASSERT_TRUE(ParseShareRecord(shares[0].payload.data(), shares[0].payload.size(), &share));
  EXPECT_EQ(share.paths, std::vector<std::wstring>{demo.config().insideFile()});

  // 7. The maintenance export closes the window; the band tells the application that it quits.
  mark = demo.app().Mark();
  ASSERT_TRUE(demo.RunStep(7)) << story;
  EXPECT_EQ(demo.explorer()->ExitCode(), 0u);
  const std::vector<DesktopAppRecord> actions = demo.app().RecordsSince(mark, to_main::kAccountAction);
  ASSERT_EQ(actions.size(), 1u);
  EXPECT_EQ(actions[0].payload, BuildAccountActionRecord(second.userId, second.enterpriseId, kActionQuit).payload);

  EXPECT_TRUE(demo.failures().empty()) << story;
  const std::vector<std::wstring> pictures = demo.pictures();
  EXPECT_EQ(pictures.size(), 9u);  // six of the bar, three of the menus
  for (const std::wstring& picture : pictures) EXPECT_TRUE(test::FileExists(picture)) << WideToUtf8(picture);

  // Nothing is left: processes, registration, configuration, install folder.
  const std::wstring dll = demo.installedDll();
  demo.Cleanup();
  EXPECT_EQ(::FindWindowW(kMainWindowClass, nullptr), nullptr);
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"CLSID\\{20B497C6-62FD-482A-9290-BD1BBEF85146}"));
  EXPECT_FALSE(test::FileExists(appData + L"\\VelQuillan") || test::FileExists(appData + L"\\VelQuillanWin"));
  EXPECT_FALSE(test::FileExists(dll) || test::FileExists(options.root));
}

}  // namespace
}  // namespace quillan
