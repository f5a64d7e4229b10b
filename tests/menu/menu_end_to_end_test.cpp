// A folder's context menu in the Explorer stand-in, with the handler loaded from the DLL as Explorer
// loads it for Directory and Folder, and the share command reaching the desktop stand-in; on the
// current system and on one that reports version 5.2 (the older images).
#include <gtest/gtest.h>

#include "base/text.h"
#include "explorer_standin.h"
#include "ipc/records.h"
#include "menu_fixture.h"

namespace quillan {
namespace {

// One line per menu item: level, text, id, the marker, the check bitmap, the verb.
std::wstring Items(const std::vector<test::StandinRecord>& lines) {
  std::wstring out;
  for (const test::StandinRecord& item : lines) {
    out += item.Text(L"level") + L":";
    if (item.Text(L"kind") == L"separator") {
      out += L"-\n";
      continue;
    }
    out += item.Text(L"text") + L"#" + item.Text(L"id") + L" " + item.Text(L"data") + L" " + item.Text(L"checked") +
           L" " + item.Text(L"verb") + L"/" + item.Text(L"help") + L"\n";
  }
  return out;
}

TEST(MenuEndToEnd, AFolderMenuInExplorerAndItsShareCommand) {
  test::SyncTree tree;
  test::DesktopAppStandin app;
  ASSERT_TRUE(app.Start({L"--no-adopt", L"--scenario", app.WriteScenario(tree.Scenario())}));
  const std::wstring docs = tree.In(L"Docs");
  const struct {
    const wchar_t* version;
    const wchar_t* productImage;
    const wchar_t* shareImage;
  } systems[] = {{L"", L"16x16x32", L"16x16x32"}, {L"winxp64", L"13x13x32", L"13x13x32"}};
  for (const auto& system : systems) {
    SCOPED_TRACE(WideToUtf8(system.version));
    test::ExplorerStandin explorer;
    const std::wstring script = L"menu --first=100 --handlers=2 \"" + docs + L"\"\ninvoke --verb=分享\nexit";
    ASSERT_TRUE(explorer.Start({script, {L"--band=none", L"--dll=" + test::BinDir() + L"\\QuillanShellUI.dll"},
                                system.version}));
    ASSERT_TRUE(explorer.WaitExit(30000));
    EXPECT_EQ(explorer.ExitCode(), 0u) << explorer.Log();

    // Directory's handler builds the menu; Folder's finds its marker and adds nothing.
    const auto handlers = explorer.Records(L"menu-handler");
    ASSERT_EQ(handlers.size(), 2u) << explorer.Log();
    EXPECT_EQ(handlers[0].Text(L"query"), L"0x00000007");
    EXPECT_EQ(handlers[1].Text(L"init"), L"0x00000000");
    EXPECT_EQ(handlers[1].Text(L"query"), L"0x00000000");
    const std::wstring product = system.productImage, share = system.shareImage;
    EXPECT_EQ(Items(explorer.Records(L"menu-item")),
              L"0:-\n"
              L"0:Orrin#102 0x5549434D " + product + L" /\n"
              L"1:分享#103 0x5549434D " + share + L" 分享/分享\n"
              L"1:-\n"
              L"1:访问网页版#105 0x5549434D  访问网页版/访问网页版\n"
              L"1:进入云盘回收站#106 0x5549434D  进入云盘回收站/进入云盘回收站\n"
              L"0:-\n");

    const auto invoked = explorer.Records(L"invoke");
    ASSERT_EQ(invoked.size(), 1u);
    EXPECT_EQ(invoked[0].Text(L"hr"), L"0x00000000");
    // The window the user right-clicked in: Explorer's frame.
    const auto menus = explorer.Records(L"menu");
    ASSERT_EQ(menus.size(), 1u);
    const HWND frame = menus[0].Window(L"cursor-window");
    ASSERT_NE(frame, nullptr);
    const auto records = app.Records(33787);
    ASSERT_FALSE(records.empty());
    ShareRecord received;
    ASSERT_TRUE(ParseShareRecord(records.back().payload.data(), records.back().payload.size(), &received));
    EXPECT_EQ(received.window, WindowToWire(frame));
    EXPECT_EQ(received.paths, std::vector<std::wstring>{docs});
  }
  EXPECT_EQ(app.Records().size(), 2u);
}

}  // namespace
}  // namespace quillan
