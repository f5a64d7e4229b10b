// The records this side sends to the desktop application with fields cut to their sizes and windows
// sign-extended, written out with literal offsets (the other records are checked byte for byte where
// they are sent); their sends to its main window in another process (the stand-in plays it), and the
// start of the application for a login.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "test_support.h"
#include "base/handle.h"
#include "base/text.h"
#include "desktop_app_driver.h"
#include "ipc/main_window.h"

namespace quillan {
namespace {

using Bytes = std::vector<uint8_t>;

// A zeroed payload with values put at the given offsets.
struct Expected {
  explicit Expected(size_t size) : bytes(size, 0) {}
  Expected& Put(size_t offset, const void* data, size_t n) {  // beyond the size: a payload that cannot match
    bytes.resize(std::max(bytes.size(), offset + n));
    std::memcpy(bytes.data() + offset, data, n);
    return *this;
  }
  Expected& U32(size_t offset, uint32_t v) { return Put(offset, &v, 4); }
  Expected& U64(size_t offset, uint64_t v) { return Put(offset, &v, 8); }
  Expected& Text(size_t offset, const std::wstring& text) { return Put(offset, text.data(), text.size() * 2); }
  Bytes bytes;
};

// A handle with its top bit set travels as FFFFFFFF80001234.
HWND High() { return reinterpret_cast<HWND>(static_cast<uintptr_t>(0x80001234u)); }
HWND Plain() { return reinterpret_cast<HWND>(static_cast<uintptr_t>(0x00050F2Eu)); }
constexpr uint64_t kHigh = 0xFFFFFFFF80001234ull;
const std::wstring kUser(40, L'u');        // sent as its first 31 characters
const std::wstring kEnt(120, L'e');        // sent as its first 99
const std::wstring kName(1500, L'\x540D');  // sent as its first 1023

TEST(Records, LayoutsAreExact) {
  const struct {
    std::optional<Record> record;
    DWORD code;
    Bytes payload;
  } rows[] = {
      {BuildBarRecord(High(), Plain(), kUser, kEnt, kName, kName, 1, 0), 33790,
       Expected(4388).U64(0, kHigh).Text(8, kUser.substr(0, 31)).Text(72, kEnt.substr(0, 99))
           .Text(272, kName.substr(0, 1023)).Text(2320, kName.substr(0, 1023)).U32(4368, 1).U64(4376, 0x50F2E).bytes},
      {BuildBarRecord(Plain(), High(), L"u1", L"e1", L"", L"", 0, 1), 33777,
       Expected(4388).U64(0, 0x50F2E).Text(8, L"u1").Text(72, L"e1").U32(4368, 1).U32(4372, 1).U64(4376, kHigh).bytes},
      {BuildAccountActionRecord(kUser, kEnt, 2), 33782,
       Expected(2316).Text(0, kUser.substr(0, 31)).Text(64, kEnt.substr(0, 99)).U32(264, 2).bytes},
      // No selected item: two zero code units, L = 4; the request's two window words are copied unchanged.
      {BuildSelectedFilesReply(kUser, L"e", static_cast<int64_t>(0x1122334480001234ull), {}), 33784,
       Expected(281 + 4).Text(0, kUser.substr(0, 31)).Text(64, L"e").U32(264, 0x80001234).U32(268, 0x11223344)
           .U64(272, 4).bytes},
      {BuildSelectedFilesReply(L"u", L"e", 5, {L"C:\\x"}), 33784,
       Expected(281 + 12).Text(0, L"u").Text(64, L"e").U32(264, 5).U64(272, 12).Text(280, L"C:\\x").bytes},
  };
  for (const auto& row : rows) {
    ASSERT_TRUE(row.record) << row.code;
    EXPECT_EQ(row.record->code, row.code);
    EXPECT_EQ(row.record->payload, row.payload) << row.code;
  }
}

TEST(MainWindow, SendsWait500MsAndTheRetryCodesTryOnceMore20MsLater) {
  ASSERT_EQ(FindMainWindow(), nullptr);
  EXPECT_FALSE(SendToMainWindow(BuildSelectionFlagRecord(true)));
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));

  test::DesktopAppStandin standin;
  ASSERT_TRUE(standin.Start({L"--no-adopt"}));
  const struct {
    std::optional<Record> record;
    DWORD hangMs;  // the receiver sleeps this long in the first record
    bool delivered;
    size_t received;
    DWORD minMs, maxMs;
  } rows[] = {
      // The retry, sent 20 ms after the first time-out, is answered once the receiver wakes.
      {BuildSelectionStateRecord(L"u", L"e", High(), 2), 550, true, 2, 540, 850},
      {BuildBarRecord(Plain(), High(), L"u", L"e", L"n", L"en", 0, 0), 550, true, 2, 540, 850},
      {BuildAccountActionRecord(L"u", L"e", 2), 550, false, 1, 490, 580},
      {BuildBarClosingRecord(Plain(), High(), Plain()), 550, false, 1, 490, 580},
      // Still asleep at the second time-out: 500 + 20 + 500 ms, no third attempt, the retry is dropped.
      {BuildSelectionFlagRecord(true), 1100, false, 1, 1015, 1085},
  };
  for (const auto& row : rows) {
    const DWORD code = row.record->code;
    ASSERT_EQ(standin.Control(L"hang " + std::to_wstring(row.hangMs) + L" 1"), 1);
    const size_t before = standin.Records(code).size();
    const DWORD start = ::GetTickCount();
    EXPECT_EQ(SendToMainWindow(row.record), row.delivered) << code;
    const DWORD error = ::GetLastError();
    const DWORD elapsed = ::GetTickCount() - start;
    EXPECT_EQ(error, row.delivered ? error : static_cast<DWORD>(ERROR_TIMEOUT)) << code;
    EXPECT_GE(elapsed, row.minMs) << code;
    EXPECT_LT(elapsed, row.maxMs) << code;
    ASSERT_EQ(standin.Control(L"ping"), 1);  // answered once the receiver is free
    EXPECT_EQ(standin.Records(code).size() - before, row.received) << code;
  }
}

TEST(MainWindow, ALoginWithoutMainWindowStartsTheApplicationFromTheModulesParentFolder) {
  // A copy of the stand-in as "<dir>\app\VelQuillanUI.exe", logging to "<dir>\app\VelQuillanUI.log".
  struct EndStarted {  // the started copy, however the test ends
    ~EndStarted() {
      DWORD pid = 0;
      if (!::GetWindowThreadProcessId(FindMainWindow(), &pid)) return;
      UniqueHandle process(::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid));
      if (process && ::TerminateProcess(process.get(), 1)) ::WaitForSingleObject(process.get(), 5000);
    }
  } endStarted;
  test::TempDir dir;
  const std::wstring appDir = dir / L"app", app = appDir + L"\\VelQuillanUI.exe";
  const std::wstring log = appDir + L"\\VelQuillanUI.log";
  ASSERT_TRUE(test::MakeDirs(appDir) && test::MakeDirs(dir / L"other\\VelQuillanUI.exe"));  // a directory of that name
  ASSERT_TRUE(::CopyFileW((test::BinDir() + L"\\desktop-app-standin.exe").c_str(), app.c_str(), FALSE));
  ASSERT_TRUE(::CopyFileW(app.c_str(), L"C:\\VelQuillanUI.exe", FALSE));
  // A long file name in the right folder, so that only the length of the module path stands in the way.
  auto moduleOfLength = [&](size_t length) {
    return appDir + L"\\bin\\" + std::wstring(length - appDir.size() - 9, L'b') + L".DLL";
  };
  // Too deep, a directory where the application belongs, a root with no parent, no folder at all.
  for (const std::wstring& module : {appDir + L"\\bin\\deeper\\x.DLL", dir / L"other\\bin\\x.DLL",
                                     std::wstring(L"C:\\QuillanShellUI.DLL"), std::wstring(L"QuillanShellUI.DLL"),
                                     moduleOfLength(260), moduleOfLength(300)}) {
    EXPECT_EQ(LaunchDesktopApp(module), 0) << WideToUtf8(module);
  }
  EXPECT_EQ(LaunchDesktopApp(), 0);  // nothing above this test program's folder
  ::DeleteFileW(L"C:\\VelQuillanUI.exe");
  const std::wstring module = moduleOfLength(259);
  auto sendBarRecord = [&](int loggedIn, int launch) {
    return SendBarRecordFor(Plain(), High(), L"u", L"e", L"n", L"en", loggedIn, launch, &module).result;
  };
  EXPECT_EQ(sendBarRecord(1, 1), 0);  // a logged-in account never starts it, whatever the flag says
  EXPECT_EQ(sendBarRecord(0, 0), 0);
  EXPECT_EQ(sendBarRecord(0, 1), 1);
  std::vector<std::string> starts;
  ASSERT_TRUE(test::PumpUntil([&] {
    starts = test::ReadStandinLog(log);
    return !starts.empty() && FindMainWindow() != nullptr;
  }, 10000));
  ASSERT_EQ(test::JsonEvent(starts[0]), "start");
  std::wstring commandLine, cwd;
  bool login = false;
  EXPECT_TRUE(test::JsonText(starts[0], "commandLine", &commandLine) && test::JsonText(starts[0], "cwd", &cwd));
  EXPECT_TRUE(test::JsonBool(starts[0], "cloudbarlogin", &login) && login);
  EXPECT_EQ(commandLine, L"\"" + app + L"\" /cloudbarlogin");
  EXPECT_TRUE(EqualsNoCaseAZ(cwd, appDir)) << WideToUtf8(cwd);

  // Now that it runs, the same request is a record 33777 with the launch flag, and no second start.
  EXPECT_EQ(sendBarRecord(0, 1), 1);
  const std::vector<test::DesktopAppRecord> records = test::ReadStandinRecords(log);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].code, 33777u);
  ASSERT_EQ(records[0].payload.size(), 4388u);
  EXPECT_EQ(records[0].payload[4372], 1);
  starts = test::ReadStandinLog(log);
  EXPECT_EQ(std::count_if(starts.begin(), starts.end(), [](auto& l) { return test::JsonEvent(l) == "start"; }), 1);
}

}  // namespace
}  // namespace quillan
