// explorer-standin.exe driven through the tests' helper: a script, later steps, the window dump, the
// picture, and the exit code of a run with a refused step.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "explorer_standin.h"
#include "test_support.h"

namespace quillan::test {
namespace {

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
  std::map<std::wstring, StandinRecord> byRole;
  for (const auto& record : explorer.Records(L"window")) byRole[record.Text(L"role")] = record;
  const StandinRecord &pane = byRole[L"pane"], &view = byRole[L"view"], &root = byRole[L"frame"];
  EXPECT_EQ(root.Number(L"width"), 640);
  EXPECT_EQ(pane.Text(L"class"), L"CtrlNotifySink");
  EXPECT_EQ(pane.Number(L"width"), root.Number(L"client-width") - 160);
  EXPECT_EQ(pane.Number(L"height"), root.Number(L"client-height") - 30);
  EXPECT_EQ(view.Number(L"parent"), pane.Number(L"index"));
  auto navigations = explorer.Records(L"navigate");
  ASSERT_EQ(navigations.size(), 1u);
  EXPECT_EQ(navigations[0].Text(L"path"), folder.path());
  EXPECT_EQ(navigations[0].Window(L"view"), view.Window(L"hwnd"));

  std::string png;
  ASSERT_TRUE(ReadBytes(picture, &png));
  ASSERT_GT(png.size(), 24u);
  EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1A\n", 8));
  EXPECT_EQ(png.substr(16, 8), std::string("\0\0\x02\x80\0\0\x01\xE0", 8));  // 640 x 480

  EXPECT_FALSE(explorer.Run(L"no-such-step"));
  ASSERT_TRUE(explorer.Run(L"quit"));
  ASSERT_TRUE(explorer.WaitExit(20000));
  EXPECT_EQ(explorer.ExitCode(), 3u) << "a refused batch counts as an error";
  EXPECT_EQ(explorer.Records(L"closed").size(), 1u);
}

}  // namespace
}  // namespace quillan::test
