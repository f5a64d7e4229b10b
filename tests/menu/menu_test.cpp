// The context-menu handler as Explorer drives it, through the built DLL's class object, with the desktop
// stand-in as the application and its engine: the menus it builds inside and outside the sync folder,
// item for item; the engine's faults; the records its commands send, byte for byte; the command strings.
#include <objbase.h>
#include <shlobj.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/com_ptr.h"
#include "base/handle.h"
#include "base/text.h"
#include "shell_dll.h"
#include "desktop_app_driver.h"
#include "hdrop_data_object.h"
#include "test_support.h"
#include "ui_test_support.h"

namespace quillan::test {
namespace {
HRESULT Initialize(IContextMenu* handler, PCIDLIST_ABSOLUTE folder, IDataObject* data) {
  ComPtr<IShellExtInit> init;
  if (!handler || FAILED(handler->QueryInterface(IID_IShellExtInit, init.PutVoid()))) return E_NOINTERFACE;
  return init->Initialize(folder, data, nullptr);
}
HRESULT InitializeSelection(IContextMenu* handler, const std::vector<std::wstring>& paths) {
  ComPtr<IDataObject> data;
  data.Attach(standin::HDropDataObject::Create(paths));
  return Initialize(handler, nullptr, data.Get());
}
// A background menu: the folder's item list only.
HRESULT InitializeBackground(IContextMenu* handler, const std::wstring& folder) {
  PIDLIST_ABSOLUTE pidl = nullptr;
  if (FAILED(::SHParseDisplayName(folder.c_str(), nullptr, &pidl, 0, nullptr))) return E_UNEXPECTED;
  const HRESULT hr = Initialize(handler, pidl, nullptr);
  ::CoTaskMemFree(pidl);
  return hr;
}

// InvokeCommand with a command offset, or with a verb passed in the ANSI code page.
HRESULT Invoke(IContextMenu* handler, LPCSTR verb) {
  CMINVOKECOMMANDINFO info = {sizeof info};
  info.lpVerb = verb;
  return handler->InvokeCommand(&info);
}
HRESULT InvokeOffset(IContextMenu* handler, UINT offset) { return Invoke(handler, MAKEINTRESOURCEA(offset)); }
HRESULT InvokeVerb(IContextMenu* handler, const std::wstring& verb) { return Invoke(handler, WideToAnsi(verb).c_str()); }

// The menu as text, top to bottom, items joined by " | ": "-" for a separator with id 1; an item of
// the handler (item data 0x5549434D) as "label#offset" with offset = id - first, "(WxH)" when it
// carries a bitmap, "!state" or "!checkmarks" when its state is not 0 or its two check bitmaps
// differ; an item of Explorer's own by its label; a submenu as "[...]" after its parent.
std::wstring DescribeMenu(HMENU menu, UINT first) {
  std::wstring out;
  for (int position = 0; position < ::GetMenuItemCount(menu); ++position) {
    if (!out.empty()) out += L" | ";
    wchar_t label[64] = {};
    MENUITEMINFOW item = {sizeof item, MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_CHECKMARKS | MIIM_DATA};
    MENUITEMINFOW text = {sizeof text, MIIM_STRING};  // asked apart: together they are unreliable under Wine
    text.dwTypeData = label;
    text.cch = 64;
    if (!::GetMenuItemInfoW(menu, position, TRUE, &item) || !::GetMenuItemInfoW(menu, position, TRUE, &text)) {
      out += L"?";
    } else if (item.fType & MFT_SEPARATOR) {
      out += (item.wID == 1 && item.dwItemData == 0) ? L"-" : L"-?" + std::to_wstring(item.wID);
    } else {
      out += label;
      BITMAP bitmap = {};
      if (item.dwItemData == 0x5549434D) {
        out += L"#" + std::to_wstring(static_cast<int>(item.wID - first));
        if (::GetObjectW(item.hbmpChecked, sizeof bitmap, &bitmap)) {
          out += L"(" + std::to_wstring(bitmap.bmWidth) + L"x" + std::to_wstring(bitmap.bmHeight) + L")";
        }
        if (item.hbmpChecked != item.hbmpUnchecked) out += L"!checkmarks";
        if (item.fState != 0) out += L"!state";
      }
      if (item.hSubMenu) out += L"[" + DescribeMenu(item.hSubMenu, first) + L"]";
    }
  }
  return out;
}

// A popup menu with `prefill` items of Explorer's own ("x1", "x2"...; ids 1, 2...).
UniqueMenu PrefilledMenu(int prefill) {
  UniqueMenu menu(::CreatePopupMenu());
  for (int i = 1; i <= prefill; ++i) ::AppendMenuW(menu.get(), MF_STRING, i, (L"x" + std::to_wstring(i)).c_str());
  return menu;
}

// A sync folder with files and a folder in it, and folders beside it, the stand-in's engine naming
// it: <temp>\Sync\a.txt (engine state 3), b.txt, c.txt (state 2), Docs\d.txt; <temp>\SyncOld\y.txt,
// <temp>\Other\x.txt. The engine gives "gone.txt", which does not exist, state 3 too.
class MenuTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const wchar_t* file : {L"Sync\\a.txt", L"Sync\\b.txt", L"Sync\\c.txt", L"Sync\\Docs\\d.txt",
                                L"SyncOld\\y.txt", L"Other\\x.txt"}) {
      ASSERT_TRUE(WriteBytes(Beside(file), std::string("data")));
    }
    const std::wstring scenario = L"pipe ui_host normal\nsync-root ui_host " + root_ + L"\nstate 3 " + In(L"a.txt") +
                                  L"\nstate 3 " + In(L"gone.txt") + L"\ndefault-state 2\n";
    ASSERT_TRUE(standin_.Start({L"--no-adopt", L"--scenario", standin_.WriteScenario(scenario)}));
  }
  std::wstring In(const std::wstring& relative) const { return root_ + L"\\" + relative; }
  std::wstring Beside(const std::wstring& relative) const { return dir_ / relative; }
  void Command(const std::wstring& command) { ASSERT_EQ(standin_.Control(command), 1) << WideToUtf8(command); }

  // A handler made by the built DLL's class object, as Explorer makes them.
  ComPtr<IContextMenu> Create() const {
    ComPtr<IClassFactory> factory;
    ComPtr<IContextMenu> handler;
    if (SUCCEEDED(dll_.getClassObject(kMenuClsid, IID_IClassFactory, factory.PutVoid()))) {
      factory->CreateInstance(nullptr, IID_IContextMenu, handler.PutVoid());
    }
    return handler;
  }
  // A fresh handler for a selection (or, with background set, a folder background) and its menu.
  struct Built {
    ComPtr<IContextMenu> handler;
    HRESULT init = E_FAIL;
    HRESULT query = E_FAIL;
    std::wstring menu;
  };
  Built Build(const std::vector<std::wstring>& paths, const std::wstring& background = std::wstring(),
              int prefill = 0, UINT index = 0, UINT last = 1100) {
    Built built{Create()};
    built.init = background.empty() ? InitializeSelection(built.handler.Get(), paths)
                                    : InitializeBackground(built.handler.Get(), background);
    if (FAILED(built.init)) return built;
    UniqueMenu menu = PrefilledMenu(prefill);
    built.query = built.handler->QueryContextMenu(menu.get(), index, 1000, last, CMF_NORMAL);
    built.menu = DescribeMenu(menu.get(), 1000);
    return built;
  }

  TempDir dir_;
  std::wstring root_ = dir_ / L"Sync";
  ShellDll dll_;
  DesktopAppStandin standin_;
};

const wchar_t kFileItems[] = L"分享#3(16x16) | - | 历史版本#4 | - | 访问网页版#5 | 进入云盘回收站#6";
const wchar_t kManyItems[] = L"分享#3(16x16) | - | 访问网页版#5 | 进入云盘回收站#6";
const wchar_t kBackgroundItems[] = L"访问网页版#5 | 进入云盘回收站#6";
const std::wstring kUploadFirst = L"优先上传到云盘#8(16x17) | - | ";
const wchar_t kOutside[] = L"同步到Orrin#0(16x16) | -";

std::wstring Parent(const std::wstring& submenu) { return L"- | Orrin#2(16x16)[" + submenu + L"] | -"; }

TEST_F(MenuTest, InsideTheSyncFolderTheSubmenuFitsTheSelection) {
  const struct {
    std::vector<std::wstring> paths;
    std::wstring background;
    std::wstring submenu;
    HRESULT result;
  } rows[] = {
      {{In(L"a.txt")}, L"", kUploadFirst + kFileItems, 9},  // the engine answers 3
      {{In(L"b.txt")}, L"", kFileItems, 7},
      {{In(L"Docs\\d.txt")}, L"", kFileItems, 7},
      {{In(L"gone.txt")}, L"", kFileItems, 7},  // not there: counts as a file, the engine is not asked
      {{In(L"Docs")}, L"", kManyItems, 7},
      {{In(L"a.txt"), In(L"b.txt"), In(L"c.txt")}, L"", kManyItems, 7},
      {{In(L"b.txt"), Beside(L"Other\\x.txt")}, L"", kManyItems, 7},  // the first item decides
      {{}, root_, kBackgroundItems, 7},
      {{}, In(L"Docs"), kBackgroundItems, 7},
  };
  for (const auto& row : rows) {
    const Built built = Build(row.paths, row.background);
    const std::string where = WideToUtf8(row.paths.empty() ? row.background : row.paths[0]);
    EXPECT_EQ(built.init, S_OK) << where;
    EXPECT_EQ(built.query, row.result) << where;
    EXPECT_EQ(built.menu, Parent(row.submenu)) << where;
  }
  // Between Explorer's own items the frame goes at indexMenu.
  const Built between = Build({In(L"b.txt")}, L"", 2, 1);
  EXPECT_EQ(between.menu, L"x1 | " + Parent(kFileItems) + L" | x2");
  // Asked for the default item only, or asked again for a menu that has its items: nothing more.
  UniqueMenu menu = PrefilledMenu(1);
  EXPECT_EQ(between.handler->QueryContextMenu(menu.get(), 0, 1000, 1100, CMF_DEFAULTONLY), 0);
  MENUITEMINFOW marked = {sizeof marked, MIIM_DATA};
  marked.dwItemData = 0x5549434D;
  ASSERT_TRUE(::SetMenuItemInfoW(menu.get(), 0, TRUE, &marked));
  EXPECT_EQ(between.handler->QueryContextMenu(menu.get(), 1, 1000, 1100, CMF_NORMAL), 0);
  EXPECT_EQ(::GetMenuItemCount(menu.get()), 1);

  // "...\Sync\" from the engine is kept as "...\Sync": a file directly inside is inside, a sibling
  // folder with a longer name is not.
  Command(L"sync-root ui_host " + root_ + L"\\");
  EXPECT_EQ(Build({In(L"a.txt")}).menu, Parent(kUploadFirst + kFileItems));
  EXPECT_EQ(Build({Beside(L"SyncOld\\y.txt")}).menu, kOutside);
}

TEST_F(MenuTest, OutsideTheSyncFolderOneItemAndRootsForeignBackgroundsOrNoApplicationNothing) {
  const Built outside = Build({Beside(L"Other\\x.txt")}, L"", 2, 1);
  EXPECT_EQ(outside.query, 1);
  EXPECT_EQ(outside.menu, L"x1 | " + std::wstring(kOutside) + L" | x2");
  // The sync folder itself, selected in its parent, is outside; so is a folder whose name merely
  // starts with the sync folder's.
  EXPECT_EQ(Build({root_}).menu, kOutside);
  EXPECT_EQ(Build({Beside(L"SyncOld\\y.txt"), In(L"a.txt")}).menu, kOutside);

  // A root anywhere in the selection refuses all of it; so do foreign and virtual backgrounds.
  for (const std::vector<std::wstring>& paths : std::vector<std::vector<std::wstring>>{
           {In(L"a.txt"), L"C:\\"}, {L"C:\\", In(L"a.txt")}, {In(L"b.txt"), L"\\\\server\\share"}}) {
    EXPECT_EQ(Build(paths).init, E_INVALIDARG) << WideToUtf8(paths[1]);
  }
  EXPECT_EQ(Build({}, Beside(L"Other")).init, E_INVALIDARG);
  PIDLIST_ABSOLUTE drives = nullptr;  // "My Computer" has no file-system path
  ASSERT_EQ(::SHGetFolderLocation(nullptr, CSIDL_DRIVES, nullptr, 0, &drives), S_OK);
  ComPtr<IContextMenu> handler = Create();
  EXPECT_EQ(Initialize(handler.Get(), drives, nullptr), E_INVALIDARG);
  EXPECT_EQ(Initialize(handler.Get(), nullptr, nullptr), E_INVALIDARG);
  ::CoTaskMemFree(drives);

  // A sync folder that is missing, is a file, or is not named at all offers nothing.
  for (const std::wstring& root : {In(L"gone"), In(L"a.txt"), std::wstring()}) {
    Command(L"sync-root ui_host " + root);
    EXPECT_EQ(Build({In(L"a.txt")}).init, E_INVALIDARG) << WideToUtf8(root);
  }

  // Without the application's main window the engine's pipes are not even tried.
  standin_.Stop();
  UniqueFile pipe(::CreateNamedPipeW(L"\\\\.\\pipe\\velquillanbox_ui_host_0", PIPE_ACCESS_DUPLEX,
                                     PIPE_TYPE_MESSAGE | PIPE_NOWAIT, 1, 4096, 4096, 0, nullptr));
  ASSERT_TRUE(pipe);
  EXPECT_EQ(Build({In(L"a.txt")}).init, E_INVALIDARG);
  EXPECT_FALSE(::ConnectNamedPipe(pipe.get(), nullptr));
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_PIPE_LISTENING));  // no client came
}

TEST_F(MenuTest, AnEngineThatFailsGivesNoItemsAndOneThatHangsNoUploadItemWithinASecond) {
  for (const wchar_t* mode : {L"absent", L"short"}) {
    Command(std::wstring(L"pipe ui_host ") + mode);
    ::Sleep(150);  // past the back-off the previous failure left
    EXPECT_EQ(Build({In(L"a.txt")}).init, E_INVALIDARG) << WideToUtf8(mode);
  }
  Command(L"pipe ui_host normal");
  ::Sleep(150);
  ComPtr<IContextMenu> handler = Create();
  ASSERT_EQ(InitializeSelection(handler.Get(), {In(L"a.txt")}), S_OK);
  Command(L"pipe ui_host silent");
  UniqueMenu menu(::CreatePopupMenu());
  const DWORD start = ::GetTickCount();
  EXPECT_EQ(handler->QueryContextMenu(menu.get(), 0, 1000, 1100, CMF_NORMAL), 7);
  const DWORD elapsed = ::GetTickCount() - start;
  EXPECT_GE(elapsed, 990u);   // the engine was waited for...
  EXPECT_LE(elapsed, 1150u);  // ...one reply time-out of 1000 ms, no longer
  EXPECT_EQ(DescribeMenu(menu.get(), 1000), Parent(kFileItems));
}

TEST_F(MenuTest, NoItemTakesAnIdBeyondExplorersLastOne) {
  const struct {
    std::wstring path;
    UINT last;
    std::wstring submenu;  // between x1 and x2
    HRESULT query;
  } rows[] = {
      {In(L"b.txt"), 1006, Parent(kFileItems), 7},
      {In(L"b.txt"), 1005, Parent(L"分享#3(16x16) | - | 历史版本#4 | - | 访问网页版#5"), 6},
      {In(L"b.txt"), 1003, Parent(L"分享#3(16x16) | -"), 4},
      {In(L"b.txt"), 1002, L"", 0},  // the submenu's root alone would be no menu
      {Beside(L"Other\\x.txt"), 1000, kOutside, 1},
      {Beside(L"Other\\x.txt"), 999, L"", 0},
      {L"", 1004, L"", 0},  // a background: its lowest item, 5, does not fit
  };
  for (const auto& row : rows) {
    const Built built = row.path.empty() ? Build({}, root_, 2, 1, row.last) : Build({row.path}, L"", 2, 1, row.last);
    EXPECT_EQ(built.query, row.query) << row.last;
    EXPECT_EQ(built.menu, row.submenu.empty() ? L"x1 | x2" : L"x1 | " + row.submenu + L" | x2") << row.last;
  }
}

TEST_F(MenuTest, AHundredMenusLeaveNoGdiObjectBehind) {
  int built = 0;
  const auto menus = [&](int count) {
    for (int i = 0; i < count; ++i) built += Build({In(L"a.txt")}).query == 9 ? 1 : 0;
  };
  menus(5);  // GDI+ and the system keep some objects of their own from the first use
  const long before = GdiObjectCount();
  menus(100);
  EXPECT_EQ(built, 105);
  EXPECT_EQ(GdiObjectCount(), before);
}

// A path list is every path with its zero and one more zero; the path-list record (with the owner
// window first for 33787) is its length L as 64 bits, the list and one final byte that carries no value.
std::string PathListRecord(const std::vector<std::wstring>& paths, HWND owner = nullptr, bool withWindow = false) {
  Bytes list;
  for (const std::wstring& path : paths) list.Text(path);
  list.Int(0, 2);
  Bytes record;
  if (withWindow) record.Handle(owner);
  return record.Int(list.str().size(), 8).str() + list.str() + '?';
}

TEST_F(MenuTest, EachCommandByOffsetOrVerbSendsItsRecordByteForByte) {
  // The window the user right-clicked in: a class of its own, as static controls are transparent to
  // the hit test that finds it.
  WNDCLASSW windowClass = {0, ::DefWindowProcW, 0, 0, ::GetModuleHandleW(nullptr)};
  windowClass.lpszClassName = L"QuillanMenuTestOwner";
  ::RegisterClassW(&windowClass);
  UniqueWindow owner(::CreateWindowExW(WS_EX_TOPMOST, windowClass.lpszClassName, L"", WS_POPUP | WS_VISIBLE, 0, 0,
                                       300, 300, nullptr, nullptr, windowClass.hInstance, nullptr));
  ::SetCursorPos(150, 150);
  const std::wstring a = In(L"a.txt"), b = In(L"b.txt"), x = Beside(L"Other\\x.txt");
  const Built two = Build({a, b});
  ASSERT_EQ(two.query, 7);
  for (UINT offset : {3u, 5u, 6u}) EXPECT_EQ(InvokeOffset(two.handler.Get(), offset), S_OK) << offset;
  EXPECT_EQ(InvokeVerb(two.handler.Get(), L"优先上传到云盘"), S_OK);  // a verb needs no item in the menu
  // The parent, and items this selection did not get.
  for (UINT offset : {0u, 2u, 4u, 7u, 8u, 9u}) EXPECT_EQ(InvokeOffset(two.handler.Get(), offset), E_INVALIDARG);
  const Built one = Build({a});
  ASSERT_EQ(one.query, 9);
  for (UINT offset : {4u, 8u}) EXPECT_EQ(InvokeOffset(one.handler.Get(), offset), S_OK) << offset;
  const Built outside = Build({x});
  ASSERT_EQ(outside.query, 1);
  EXPECT_EQ(InvokeOffset(outside.handler.Get(), 0), S_OK);

  // Verbs in any ASCII letter case, without a menu; the selection commands need a selection.
  ComPtr<IContextMenu> handler = Create();
  ASSERT_EQ(InitializeSelection(handler.Get(), {a, b}), S_OK);
  for (const wchar_t* verb : {L"访问网页版", L"Orrin", L"oRRIN", L"同步到ORRIN"}) {
    EXPECT_EQ(InvokeVerb(handler.Get(), verb), S_OK) << WideToUtf8(verb);  // "Orrin" sends nothing
  }
  for (const wchar_t* verb : {L"分享 ", L"bogus", L"", L"ＯＲＲＩＮ"}) {
    EXPECT_EQ(InvokeVerb(handler.Get(), verb), E_INVALIDARG) << WideToUtf8(verb);
  }
  for (UINT offset : {0u, 3u}) EXPECT_EQ(InvokeOffset(handler.Get(), offset), E_INVALIDARG);  // no menu built
  ComPtr<IContextMenu> background = Create();
  ASSERT_EQ(InitializeBackground(background.Get(), root_), S_OK);
  for (const wchar_t* verb : {L"分享", L"同步到Orrin", L"优先上传到云盘", L"历史版本"}) {
    EXPECT_EQ(InvokeVerb(background.Get(), verb), E_FAIL) << WideToUtf8(verb);
  }

  const struct {
    DWORD code;
    std::string payload;
  } expected[] = {{33787, PathListRecord({a, b}, owner.get(), true)},
                  {33779, ""},
                  {33780, ""},
                  {33786, PathListRecord({a, b})},
                  {33791, Bytes().Text(a).str()},
                  {33786, PathListRecord({a})},
                  {33781, PathListRecord({x})},
                  {33779, ""},
                  {33781, PathListRecord({a, b})}};
  ASSERT_TRUE(standin_.WaitForRecords(0, 9, 5000));
  PumpFor(100);
  const std::vector<DesktopAppRecord> records = standin_.Records();
  ASSERT_EQ(records.size(), 9u);
  for (size_t i = 0; i < records.size(); ++i) {
    EXPECT_EQ(records[i].code, expected[i].code) << i;
    std::string payload(records[i].payload.begin(), records[i].payload.end());
    if (!payload.empty() && payload.size() == expected[i].payload.size() && expected[i].payload.back() == '?') payload.back() = '?';
    EXPECT_EQ(payload, expected[i].payload) << i;
  }
}

TEST_F(MenuTest, ABusyOrMissingApplicationFailsOnlyTheCommandsThatSaySo) {
  const Built built = Build({In(L"a.txt")});
  ASSERT_EQ(built.query, 9);
  // History is tried once; its time-out is Explorer's to know.
  Command(L"hang 800 1");
  const DWORD start = ::GetTickCount();
  EXPECT_EQ(InvokeOffset(built.handler.Get(), 4), static_cast<HRESULT>(0x800705B4));
  const DWORD elapsed = ::GetTickCount() - start;
  EXPECT_GE(elapsed, 450u);
  EXPECT_LT(elapsed, 900u);

  standin_.Stop();
  for (UINT offset : {3u, 8u}) EXPECT_EQ(InvokeOffset(built.handler.Get(), offset), S_OK) << offset;
  EXPECT_EQ(InvokeVerb(built.handler.Get(), L"同步到Orrin"), S_OK);
  for (UINT offset : {4u, 5u, 6u}) EXPECT_EQ(InvokeOffset(built.handler.Get(), offset), E_FAIL) << offset;
}

TEST_F(MenuTest, CommandStringsInBothWidthsAreCutToTheBuffer) {
  const Built built = Build({In(L"a.txt")});
  ASSERT_EQ(built.query, 9);
  IContextMenu* handler = built.handler.Get();
  wchar_t wide[16];
  const auto wideOut = reinterpret_cast<LPSTR>(wide);
  EXPECT_EQ(handler->GetCommandString(6, GCS_HELPTEXTW, nullptr, wideOut, 4), static_cast<HRESULT>(0x8007007A));
  EXPECT_EQ(std::wstring(wide), L"进入云");
  EXPECT_EQ(handler->GetCommandString(6, GCS_HELPTEXTW, nullptr, wideOut, 8), S_OK);
  EXPECT_EQ(std::wstring(wide), L"进入云盘回收站");
  char ansi[16];  // code page 936
  EXPECT_EQ(handler->GetCommandString(3, GCS_VERBA, nullptr, ansi, 16), S_OK);
  EXPECT_EQ(std::string(ansi), "\xB7\xD6\xCF\xED");
  EXPECT_EQ(handler->GetCommandString(3, GCS_HELPTEXTA, nullptr, ansi, 3), static_cast<HRESULT>(0x8007007A));
  EXPECT_EQ(std::string(ansi), "\xB7\xD6");

  for (UINT type : {2u, 3u, 6u, 7u}) {  // the validate requests and unknown kinds
    EXPECT_EQ(handler->GetCommandString(3, type, nullptr, ansi, 16), E_INVALIDARG) << type;
  }
  wide[0] = L'x';
  EXPECT_EQ(handler->GetCommandString(3, GCS_VERBW, nullptr, wideOut, 0), E_INVALIDARG);
  EXPECT_EQ(wide[0], L'x');
  EXPECT_EQ(handler->GetCommandString(3, GCS_VERBW, nullptr, wideOut, 0x80000000u), E_INVALIDARG);
  EXPECT_EQ(wide[0], L'\0');
  for (UINT_PTR offset : {0u, 2u, 7u, 9u}) {  // the parent and offsets not in this menu
    EXPECT_EQ(handler->GetCommandString(offset, GCS_VERBW, nullptr, wideOut, 16), E_INVALIDARG) << offset;
  }
  const Built outside = Build({Beside(L"Other\\x.txt")});
  EXPECT_EQ(outside.handler->GetCommandString(0, GCS_VERBW, nullptr, wideOut, 16), S_OK);
  EXPECT_EQ(std::wstring(wide), L"同步到Orrin");
}

}  // namespace
}  // namespace quillan::test
