// The menus the handler builds for selections and folder backgrounds inside and outside the sync
// folder, item for item, with the desktop stand-in's engine naming the sync folder; the engine's
// faults; and the handler's GDI objects over many menus.
#include <gtest/gtest.h>

#include "base/text.h"
#include "menu_fixture.h"
#include "../ui/ui_test_support.h"

namespace quillan {
namespace {

using test::DescribeMenu;
using test::InitializeBackground;
using test::InitializeSelection;

const wchar_t kFileItems[] = L"分享#3(16x16) | - | 历史版本#4 | - | 访问网页版#5 | 进入云盘回收站#6";
const wchar_t kManyItems[] = L"分享#3(16x16) | - | 访问网页版#5 | 进入云盘回收站#6";
const wchar_t kBackgroundItems[] = L"访问网页版#5 | 进入云盘回收站#6";
const wchar_t kUploadFirst[] = L"优先上传到云盘#8(16x17) | - | ";
const wchar_t kOutside[] = L"同步到Orrin#0(16x16) | -";

std::wstring Parent(const std::wstring& submenu) { return L"- | Orrin#2(16x16)[" + submenu + L"] | -"; }

class MenuBuildingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(source_.loaded());
    ASSERT_TRUE(standin_.Start({L"--no-adopt", L"--scenario", standin_.WriteScenario(tree_.Scenario())}));
  }

  void Command(const std::wstring& command) { ASSERT_EQ(standin_.Control(command), 1) << WideToUtf8(command); }

  // A fresh handler for a selection (or, with background set, a folder background) and its menu.
  struct Built {
    HRESULT init = E_FAIL;
    HRESULT query = E_FAIL;
    std::wstring menu;
  };
  Built Build(const std::vector<std::wstring>& paths, const std::wstring& background = std::wstring(),
              int prefill = 0, UINT index = 0, UINT last = 1100) {
    Built built;
    ComPtr<IContextMenu> handler = source_.Create();
    built.init = background.empty() ? InitializeSelection(handler.Get(), paths)
                                    : InitializeBackground(handler.Get(), background);
    if (FAILED(built.init)) return built;
    UniqueMenu menu = test::PrefilledMenu(prefill);
    built.query = handler->QueryContextMenu(menu.get(), index, 1000, last, CMF_NORMAL);
    built.menu = DescribeMenu(menu.get(), 1000);
    return built;
  }

  test::SyncTree tree_;
  test::MenuHandlerSource source_;
  test::DesktopAppStandin standin_;
};

TEST_F(MenuBuildingTest, InsideTheSyncFolderTheSubmenuFitsTheSelection) {
  const struct {
    std::vector<std::wstring> paths;
    std::wstring background;
    std::wstring submenu;
    HRESULT result;
  } rows[] = {
      {{tree_.In(L"a.txt")}, L"", kUploadFirst + std::wstring(kFileItems), 9},  // the engine answers 3
      {{tree_.In(L"b.txt")}, L"", kFileItems, 7},
      {{tree_.In(L"Docs\\d.txt")}, L"", kFileItems, 7},
      {{tree_.In(L"gone.txt")}, L"", kFileItems, 7},  // not there: counts as a file, the engine is not asked
      {{tree_.In(L"Docs")}, L"", kManyItems, 7},
      {{tree_.In(L"a.txt"), tree_.In(L"b.txt"), tree_.In(L"c.txt")}, L"", kManyItems, 7},
      {{tree_.In(L"b.txt"), tree_.Beside(L"Other\\x.txt")}, L"", kManyItems, 7},  // the first item decides
      {{}, tree_.root, kBackgroundItems, 7},
      {{}, tree_.In(L"Docs"), kBackgroundItems, 7},
  };
  for (const auto& row : rows) {
    const Built built = Build(row.paths, row.background);
    const std::string where = WideToUtf8(row.paths.empty() ? row.background : row.paths[0]);
    EXPECT_EQ(built.init, S_OK) << where;
    EXPECT_EQ(built.query, row.result) << where;
    EXPECT_EQ(built.menu, Parent(row.submenu)) << where;
  }
  // Between Explorer's own items the frame goes at indexMenu.
  const Built between = Build({tree_.In(L"b.txt")}, L"", 2, 1);
  EXPECT_EQ(between.menu, L"x1 | " + Parent(kFileItems) + L" | x2");

  // "D:\Sync\" from the engine is kept as "D:\Sync": a file directly inside is inside, a sibling
  // folder with a longer name is not.
  Command(L"sync-root ui_host " + tree_.root + L"\\");
  EXPECT_EQ(Build({tree_.In(L"a.txt")}).menu, Parent(kUploadFirst + std::wstring(kFileItems)));
  EXPECT_EQ(Build({tree_.Beside(L"SyncOld\\y.txt")}).menu, kOutside);
}

TEST_F(MenuBuildingTest, OutsideTheSyncFolderOneItemAndRootsOrForeignBackgroundsNothing) {
  Built outside = Build({tree_.Beside(L"Other\\x.txt")}, L"", 2, 1);
  EXPECT_EQ(outside.query, 1);
  EXPECT_EQ(outside.menu, L"x1 | " + std::wstring(kOutside) + L" | x2");
  // The sync folder itself, selected in its parent, is outside; so is a folder whose name merely
  // starts with the sync folder's.
  EXPECT_EQ(Build({tree_.root}).menu, kOutside);
  EXPECT_EQ(Build({tree_.Beside(L"SyncOld\\y.txt"), tree_.In(L"a.txt")}).menu, kOutside);

  // A root anywhere in the selection refuses all of it.
  for (const std::vector<std::wstring>& paths : std::vector<std::vector<std::wstring>>{
           {tree_.In(L"a.txt"), L"C:\\"}, {L"C:\\", tree_.In(L"a.txt")}, {tree_.In(L"b.txt"), L"\\\\server\\share"}}) {
    EXPECT_EQ(Build(paths).init, E_INVALIDARG) << WideToUtf8(paths[1]);
  }
  EXPECT_EQ(Build({}, tree_.Beside(L"Other")).init, E_INVALIDARG);
  PIDLIST_ABSOLUTE drives = nullptr;  // "My Computer" has no file-system path
  ASSERT_EQ(::SHGetFolderLocation(nullptr, CSIDL_DRIVES, nullptr, 0, &drives), S_OK);
  ComPtr<IContextMenu> handler = source_.Create();
  EXPECT_EQ(InitializeBackground(handler.Get(), drives), E_INVALIDARG);
  EXPECT_EQ(InitializeBackground(handler.Get(), PCIDLIST_ABSOLUTE(nullptr)), E_INVALIDARG);
  ::CoTaskMemFree(drives);

  // A sync folder that is missing, is a file, or is not named at all offers nothing.
  for (const std::wstring& root : {tree_.In(L"gone"), tree_.In(L"a.txt"), std::wstring()}) {
    Command(L"sync-root ui_host " + root);
    EXPECT_EQ(Build({tree_.In(L"a.txt")}).init, E_INVALIDARG) << WideToUtf8(root);
  }
}

TEST_F(MenuBuildingTest, WithoutTheMainWindowThePipesAreNotAsked) {
  standin_.Stop();
  // An engine of the test's own that only notes whether anyone connects.
  UniqueFile pipe(::CreateNamedPipeW(L"\\\\.\\pipe\\velquillanbox_ui_host_0", PIPE_ACCESS_DUPLEX,
                                     PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_NOWAIT, 1, 4096, 4096, 0,
                                     nullptr));
  ASSERT_TRUE(pipe);
  EXPECT_EQ(Build({tree_.In(L"a.txt")}).init, E_INVALIDARG);
  EXPECT_FALSE(::ConnectNamedPipe(pipe.get(), nullptr));
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_PIPE_LISTENING));
  // What the check would have seen had the handler connected.
  UniqueFile client(::CreateFileW(L"\\\\.\\pipe\\velquillanbox_ui_host_0", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(client);
  EXPECT_FALSE(::ConnectNamedPipe(pipe.get(), nullptr));
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_PIPE_CONNECTED));
}

// The engine fails in every way it can: Initialize refuses (Explorer then shows none of the items)
// and holds the thread at most about a second per pipe asked.
TEST_F(MenuBuildingTest, EngineFaultsGiveNoItemsWithinASecondPerPipe) {
  const DWORD kPipeBound = 1150;  // one reply wait of 1000 ms, the cancel and a loaded machine
  const auto timedInit = [&](DWORD* elapsed) {
    ::Sleep(150);  // past the back-off the previous failure left
    ComPtr<IContextMenu> handler = source_.Create();
    const DWORD start = ::GetTickCount();
    const HRESULT hr = InitializeSelection(handler.Get(), {tree_.In(L"a.txt")});
    *elapsed = ::GetTickCount() - start;
    return hr;
  };
  const struct {
    const wchar_t* mode;
    DWORD minMs;
    DWORD maxMs;
  } rows[] = {{L"absent", 0, 300},       {L"busy", 25, 400},        {L"slow 1500", 990, kPipeBound},
              {L"silent", 990, kPipeBound}, {L"short", 0, 800},    {L"wrong-code", 0, 800},
              {L"odd-length", 0, 800},   {L"disconnect", 0, 800}};
  for (const auto& row : rows) {
    Command(std::wstring(L"pipe ui_host ") + row.mode);
    DWORD elapsed = 0;
    EXPECT_EQ(timedInit(&elapsed), E_INVALIDARG) << WideToUtf8(row.mode);
    EXPECT_GE(elapsed, row.minMs) << WideToUtf8(row.mode);
    EXPECT_LE(elapsed, row.maxMs) << WideToUtf8(row.mode);
  }

  // The legacy UI holds its mutex: the box pipe is asked after the UI host, each waited for once.
  Command(L"mutex hold");
  Command(L"pipe ui_host silent");
  Command(L"pipe box silent");
  DWORD elapsed = 0;
  EXPECT_EQ(timedInit(&elapsed), E_INVALIDARG);
  EXPECT_GE(elapsed, 1980u);
  EXPECT_LE(elapsed, 2 * kPipeBound);
  Command(L"pipe box normal");
  Command(L"sync-root box " + tree_.root);
  EXPECT_EQ(timedInit(&elapsed), S_OK);  // the box pipe's answer is used
  EXPECT_LE(elapsed, kPipeBound + 200);
  Command(L"mutex release");

  // The file-state question hangs: the menu comes without "优先上传到云盘", a second later.
  Command(L"pipe ui_host normal");
  ::Sleep(150);
  ComPtr<IContextMenu> handler = source_.Create();
  ASSERT_EQ(InitializeSelection(handler.Get(), {tree_.In(L"a.txt")}), S_OK);
  Command(L"pipe ui_host silent");
  UniqueMenu menu(::CreatePopupMenu());
  const DWORD start = ::GetTickCount();
  EXPECT_EQ(handler->QueryContextMenu(menu.get(), 0, 1000, 1100, CMF_NORMAL), 7);
  EXPECT_LE(::GetTickCount() - start, kPipeBound);
  EXPECT_EQ(DescribeMenu(menu.get(), 1000), Parent(kFileItems));
}

TEST_F(MenuBuildingTest, NoItemTakesAnIdBeyondExplorersLastOne) {
  const struct {
    std::wstring path;
    UINT last;
    std::wstring menu;
    HRESULT query;
  } rows[] = {
      {tree_.In(L"b.txt"), 1006, L"x1 | " + Parent(kFileItems) + L" | x2", 7},
      {tree_.In(L"b.txt"), 1005, L"x1 | " + Parent(L"分享#3(16x16) | - | 历史版本#4 | - | 访问网页版#5") + L" | x2", 6},
      {tree_.In(L"b.txt"), 1003, L"x1 | " + Parent(L"分享#3(16x16) | -") + L" | x2", 4},
      {tree_.In(L"b.txt"), 1002, L"x1 | x2", 0},  // the submenu's root alone would be no menu
      {tree_.Beside(L"Other\\x.txt"), 1000, L"x1 | " + std::wstring(kOutside) + L" | x2", 1},
      {tree_.Beside(L"Other\\x.txt"), 999, L"x1 | x2", 0},
  };
  for (const auto& row : rows) {
    const Built built = Build({row.path}, std::wstring(), 2, 1, row.last);
    EXPECT_EQ(built.query, row.query) << row.last;
    EXPECT_EQ(built.menu, row.menu) << row.last;
  }
  const Built background = Build({}, tree_.root, 2, 1, 1004);  // 5 and 6: the lowest item does not fit
  EXPECT_EQ(background.query, 0);
  EXPECT_EQ(background.menu, L"x1 | x2");
}

TEST_F(MenuBuildingTest, AHundredMenusLeaveNoGdiObjectBehind) {
  int built = 0;
  const auto menus = [&](int count) {
    for (int i = 0; i < count; ++i) {
      ComPtr<IContextMenu> handler = source_.Create();
      if (InitializeSelection(handler.Get(), {tree_.In(L"a.txt")}) != S_OK) continue;
      UniqueMenu menu(::CreatePopupMenu());
      if (handler->QueryContextMenu(menu.get(), 0, 1, 100, CMF_NORMAL) == 9) ++built;
    }
  };
  menus(5);  // GDI+ and the system keep some objects of their own from the first use
  const long before = test::GdiObjectCount();
  menus(100);
  EXPECT_EQ(built, 105);
  EXPECT_EQ(test::GdiObjectCount(), before);
}

}  // namespace
}  // namespace quillan
