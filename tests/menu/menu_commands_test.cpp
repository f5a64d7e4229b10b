// The records the commands send to the desktop application, byte for byte as its stand-in logs them,
// the verbs, the results when the application is busy or gone, and the command strings.
#include <gtest/gtest.h>

#include <cstdio>

#include "base/text.h"
#include "ipc/records.h"
#include "menu_fixture.h"

namespace quillan {
namespace {

using test::InitializeSelection;
using test::InvokeOffset;
using test::InvokeVerb;

constexpr HRESULT kCut = static_cast<HRESULT>(0x8007007A);

// What the records module builds (its layouts are proven byte for byte by the IPC tests).
std::vector<uint8_t> PathList(DWORD code, const std::vector<std::wstring>& paths) {
  return BuildPathListRecord(code, paths)->payload;
}

class MenuCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Paths of 13 characters, as C:\Qm00\a.txt: the record sizes come out as the documented examples.
    wchar_t root[16];
    std::swprintf(root, 16, L"C:\\Qm%02X", static_cast<unsigned>(::GetCurrentProcessId() & 0xFF));
    root_ = root;
    a_ = root_ + L"\\a.txt";
    b_ = root_ + L"\\b.txt";
    ASSERT_TRUE(test::WriteBytes(a_, std::string("a")) && test::WriteBytes(b_, std::string("b")));
    ASSERT_TRUE(source_.loaded());
    const std::wstring scenario = L"pipe ui_host normal\nsync-root ui_host " + root_ + L"\nstate 3 " + a_ + L"\n";
    ASSERT_TRUE(standin_.Start({L"--no-adopt", L"--scenario", standin_.WriteScenario(scenario)}));
  }
  void TearDown() override { test::RemoveTree(root_); }

  // A handler initialised with paths whose menu was built with idCmdFirst 100; its result in *used.
  ComPtr<IContextMenu> Built(const std::vector<std::wstring>& paths, HRESULT* used) {
    ComPtr<IContextMenu> handler = source_.Create();
    *used = E_FAIL;
    if (InitializeSelection(handler.Get(), paths) != S_OK) return handler;
    UniqueMenu menu(::CreatePopupMenu());
    *used = handler->QueryContextMenu(menu.get(), 0, 100, 200, CMF_NORMAL);
    return handler;
  }

  std::wstring root_, a_, b_;
  test::MenuHandlerSource source_;
  test::DesktopAppStandin standin_;
};

TEST_F(MenuCommandsTest, EachCommandSendsItsRecordByteForByte) {
  test::CursorWindow owner;
  ASSERT_EQ(a_.size(), 13u);
  HRESULT used = E_FAIL;
  ComPtr<IContextMenu> two = Built({a_, b_}, &used);
  ASSERT_EQ(used, 7);
  EXPECT_EQ(InvokeOffset(two.Get(), 3), S_OK);
  EXPECT_EQ(InvokeOffset(two.Get(), 5), S_OK);
  EXPECT_EQ(InvokeOffset(two.Get(), 6), S_OK);
  EXPECT_EQ(InvokeVerb(two.Get(), L"优先上传到云盘"), S_OK);  // a verb needs no item in the menu
  // The parent, and items this selection did not get.
  for (UINT offset : {0u, 2u, 4u, 7u, 8u, 9u}) EXPECT_EQ(InvokeOffset(two.Get(), offset), E_INVALIDARG) << offset;

  ComPtr<IContextMenu> one = Built({a_}, &used);
  ASSERT_EQ(used, 9);
  EXPECT_EQ(InvokeOffset(one.Get(), 4), S_OK);
  EXPECT_EQ(InvokeOffset(one.Get(), 8), S_OK);

  test::TempDir elsewhere;
  const std::wstring outsidePath = elsewhere / L"x.txt";
  ASSERT_TRUE(test::WriteBytes(outsidePath, std::string("x")));
  ComPtr<IContextMenu> outside = Built({outsidePath}, &used);
  ASSERT_EQ(used, 1);
  EXPECT_EQ(InvokeOffset(outside.Get(), 0), S_OK);

  // Share opens with the window under the cursor.
  const struct {
    DWORD code;
    std::vector<uint8_t> payload;
  } expected[] = {{33787, BuildShareRecord(owner.hwnd(), {a_, b_})->payload},
                  {33779, {}},
                  {33780, {}},
                  {33786, PathList(33786, {a_, b_})},
                  {33791, BuildHistoryRecord(a_)->payload},
                  {33786, PathList(33786, {a_})},
                  {33781, PathList(33781, {outsidePath})}};
  ASSERT_TRUE(standin_.WaitForRecords(0, 7, 5000));
  const std::vector<test::DesktopAppRecord> records = standin_.Records();
  ASSERT_EQ(records.size(), 7u);
  EXPECT_EQ(records[0].size, 75u);
  EXPECT_EQ(records[3].size, 67u);
  EXPECT_EQ(records[4].size, 28u);
  for (size_t i = 0; i < records.size(); ++i) {
    EXPECT_EQ(records[i].code, expected[i].code) << i;
    EXPECT_EQ(records[i].payload, expected[i].payload) << i;
  }
}

TEST_F(MenuCommandsTest, VerbsWorkWithoutAMenuAndSelectionCommandsNeedASelection) {
  ComPtr<IContextMenu> handler = source_.Create();
  ASSERT_EQ(InitializeSelection(handler.Get(), {a_, b_}), S_OK);
  EXPECT_EQ(InvokeVerb(handler.Get(), L"访问网页版"), S_OK);
  for (const wchar_t* verb : {L"Orrin", L"oRRIN"}) EXPECT_EQ(InvokeVerb(handler.Get(), verb), S_OK);  // sends nothing
  EXPECT_EQ(InvokeVerb(handler.Get(), L"同步到ORRIN"), S_OK);
  for (const wchar_t* verb : {L"分享 ", L"bogus", L"", L"ＯＲＲＩＮ"}) {
    EXPECT_EQ(InvokeVerb(handler.Get(), verb), E_INVALIDARG) << WideToUtf8(verb);
  }
  for (UINT offset : {0u, 3u}) EXPECT_EQ(InvokeOffset(handler.Get(), offset), E_INVALIDARG);  // no menu built

  ComPtr<IContextMenu> background = source_.Create();
  ASSERT_EQ(test::InitializeBackground(background.Get(), root_), S_OK);
  for (const wchar_t* verb : {L"分享", L"同步到Orrin", L"优先上传到云盘", L"历史版本"}) {
    EXPECT_EQ(InvokeVerb(background.Get(), verb), E_FAIL) << WideToUtf8(verb);
  }

  ASSERT_TRUE(standin_.WaitForRecords(0, 2, 5000));
  test::PumpFor(200);
  const std::vector<test::DesktopAppRecord> records = standin_.Records();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].code, 33779u);
  EXPECT_EQ(records[0].size, 0u);
  EXPECT_EQ(records[1].code, 33781u);
  EXPECT_EQ(records[1].payload, PathList(33781, {a_, b_}));
}

TEST_F(MenuCommandsTest, ABusyOrMissingApplicationFailsOnlyTheCommandsThatSaySo) {
  HRESULT used = E_FAIL;
  ComPtr<IContextMenu> handler = Built({a_}, &used);
  ASSERT_EQ(used, 9);
  // History is tried once; its time-out is Explorer's to know.
  ASSERT_EQ(standin_.Control(L"hang 800 1"), 1);
  DWORD start = ::GetTickCount();
  EXPECT_EQ(InvokeOffset(handler.Get(), 4), static_cast<HRESULT>(0x800705B4));
  const DWORD elapsed = ::GetTickCount() - start;
  EXPECT_GE(elapsed, 450u);
  EXPECT_LT(elapsed, 900u);

  standin_.Stop();
  for (UINT offset : {3u, 8u}) EXPECT_EQ(InvokeOffset(handler.Get(), offset), S_OK) << offset;
  EXPECT_EQ(InvokeVerb(handler.Get(), L"同步到Orrin"), S_OK);
  for (UINT offset : {4u, 5u, 6u}) EXPECT_EQ(InvokeOffset(handler.Get(), offset), E_FAIL) << offset;
}

TEST_F(MenuCommandsTest, CommandStringsInBothWidthsAreCutToTheBuffer) {
  HRESULT used = E_FAIL;
  ComPtr<IContextMenu> handler = Built({a_}, &used);
  ASSERT_EQ(used, 9);
  wchar_t wide[16];
  EXPECT_EQ(handler->GetCommandString(6, GCS_HELPTEXTW, nullptr, reinterpret_cast<LPSTR>(wide), 4), kCut);
  EXPECT_EQ(std::wstring(wide), L"进入云");
  EXPECT_EQ(handler->GetCommandString(6, GCS_HELPTEXTW, nullptr, reinterpret_cast<LPSTR>(wide), 8), S_OK);
  EXPECT_EQ(std::wstring(wide), L"进入云盘回收站");

  char ansi[16];  // code page 936
  EXPECT_EQ(handler->GetCommandString(3, GCS_VERBA, nullptr, ansi, 16), S_OK);
  EXPECT_EQ(std::string(ansi), "\xB7\xD6\xCF\xED");
  EXPECT_EQ(handler->GetCommandString(3, GCS_HELPTEXTA, nullptr, ansi, 3), kCut);
  EXPECT_EQ(std::string(ansi), "\xB7\xD6");

  for (UINT type : {2u, 3u, 6u, 7u}) {  // the validate requests and unknown kinds
    EXPECT_EQ(handler->GetCommandString(3, type, nullptr, ansi, 16), E_INVALIDARG) << type;
  }
  wide[0] = L'x';
  EXPECT_EQ(handler->GetCommandString(3, GCS_VERBW, nullptr, reinterpret_cast<LPSTR>(wide), 0), E_INVALIDARG);
  EXPECT_EQ(wide[0], L'x');
  EXPECT_EQ(handler->GetCommandString(3, GCS_VERBW, nullptr, reinterpret_cast<LPSTR>(wide), 0x80000000u),
            E_INVALIDARG);
  EXPECT_EQ(wide[0], L'\0');
  for (UINT_PTR offset : {0u, 2u, 7u, 9u}) {  // the parent and offsets not in this menu
    EXPECT_EQ(handler->GetCommandString(offset, GCS_VERBW, nullptr, reinterpret_cast<LPSTR>(wide), 16), E_INVALIDARG);
  }

  test::TempDir elsewhere;
  ASSERT_TRUE(test::WriteBytes(elsewhere / L"x.txt", std::string("x")));
  ComPtr<IContextMenu> outside = Built({elsewhere / L"x.txt"}, &used);
  ASSERT_EQ(used, 1);
  EXPECT_EQ(outside->GetCommandString(0, GCS_VERBW, nullptr, reinterpret_cast<LPSTR>(wide), 16), S_OK);
  EXPECT_EQ(std::wstring(wide), L"同步到Orrin");
}

}  // namespace
}  // namespace quillan
