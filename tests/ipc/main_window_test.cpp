// Sends to the desktop application's main window, in another process, and the start of the
// application: the stand-in plays the application.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/handle.h"
#include "base/text.h"
#include "desktop_app_standin.h"
#include "import_hook.h"
#include "ipc/main_window.h"
#include "test_support.h"

namespace quillan {
namespace {

using test::DesktopAppStandin;
using test::DesktopAppRecord;

HWND FakeWindow(uint32_t value) { return reinterpret_cast<HWND>(static_cast<uintptr_t>(value)); }

// One of every record the Explorer side sends to the main window.
std::vector<Record> EveryMainWindowRecord() {
  const std::vector<std::wstring> paths = {L"D:\\Sync\\a.txt", L"D:\\Sync\\\x6587\x4EF6.doc"};
  return {
      *BuildBarSizeRecord(L"uid", L"eid", FakeWindow(0x80000010), 1024, 39),
      *BuildBarRecord(FakeWindow(0x20), FakeWindow(0x30), L"uid", L"eid", L"\x5F20\x4E09", L"Ent", 0, 1),
      BuildEmptyRecord(to_main::kWebVersion),
      BuildEmptyRecord(to_main::kRecycleBin),
      *BuildPathListRecord(to_main::kSyncTo, paths),
      *BuildAccountActionRecord(L"uid", L"eid", kActionQuit),
      *BuildSelectedFilesReply(L"uid", L"eid", 0x12345678, paths),
      *BuildPathListRecord(to_main::kUploadFirst, paths),
      *BuildShareRecord(FakeWindow(0x80000040), paths),
      *BuildSelectionStateRecord(L"uid", L"eid", FakeWindow(0x50), 2),
      *BuildBarRecord(FakeWindow(0x20), FakeWindow(0x30), L"uid", L"eid", L"n", L"e", 1, 0),
      *BuildHistoryRecord(L"D:\\Sync\\a.txt"),
      *BuildSelectionFlagRecord(true),
      *BuildBarClosingRecord(FakeWindow(0x20), FakeWindow(0x30), FakeWindow(0x80000040)),
  };
}

TEST(MainWindow, NothingIsSentWithoutAMainWindow) {
  ASSERT_EQ(FindMainWindow(), nullptr);
  const DWORD start = ::GetTickCount();
  EXPECT_FALSE(SendToMainWindow(BuildSelectionFlagRecord(true)));
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
  EXPECT_FALSE(SendToMainWindow(BuildEmptyRecord(to_main::kWebVersion)));
  test::TempDir dir;
  const std::wstring module = dir / L"bin\\QuillanShellUI.DLL";
  EXPECT_EQ(SendBarRecordFor(nullptr, nullptr, L"u", L"e", L"n", L"en", 0, 0, &module).result, 0);
  EXPECT_LT(::GetTickCount() - start, 400u);
}

TEST(MainWindow, TimedOutSendsAreRetriedOnceForExactlyTheRetryCodes) {
  DesktopAppStandin standin;
  ASSERT_TRUE(standin.Start({L"--no-adopt"}));
  const std::vector<DWORD> retrying = {33777, 33784, 33787, 33788, 33790, 33792};
  size_t expectedRecords = 0;
  for (const Record& record : EveryMainWindowRecord()) {
    if (record.code != 33788 && record.code != 33808 && record.code != 33790 && record.code != 33782) continue;
    // The receiver sleeps 700 ms in the next record: the first attempt times out after 500 ms, and a
    // retry sent 20 ms later is answered once the receiver is free again.
    ASSERT_EQ(standin.Control(L"hang 700 1"), 1);
    const size_t before = standin.Records(record.code).size();
    const bool retries = std::find(retrying.begin(), retrying.end(), record.code) != retrying.end();

    const DWORD start = ::GetTickCount();
    const bool sent = SendToMainWindow(record);
    const DWORD error = ::GetLastError();
    const DWORD elapsed = ::GetTickCount() - start;
    if (retries) {
      EXPECT_TRUE(sent) << record.code;
      EXPECT_GE(elapsed, 600u) << record.code;
    } else {
      EXPECT_FALSE(sent) << record.code;
      EXPECT_EQ(error, static_cast<DWORD>(ERROR_TIMEOUT)) << record.code;
      EXPECT_GE(elapsed, 490u) << record.code;
      EXPECT_LT(elapsed, 900u) << record.code;
    }
    ASSERT_EQ(standin.Control(L"ping"), 1);
    expectedRecords += retries ? 2 : 1;
    EXPECT_EQ(standin.Records(record.code).size() - before, retries ? 2u : 1u) << record.code;
  }
  EXPECT_EQ(standin.Records().size(), expectedRecords);
}

TEST(MainWindow, ARetriedSendGivesUpAfterItsSecondTimeOut) {
  DesktopAppStandin standin;
  ASSERT_TRUE(standin.Start({L"--no-adopt"}));
  ASSERT_EQ(standin.Control(L"hang 1500 1"), 1);
  const DWORD start = ::GetTickCount();
  EXPECT_FALSE(SendToMainWindow(BuildSelectionFlagRecord(true)));
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_TIMEOUT));
  const DWORD elapsed = ::GetTickCount() - start;
  EXPECT_GE(elapsed, 1010u);  // 500 + 20 + 500
  EXPECT_LT(elapsed, 1450u);  // the receiver is still asleep: no third attempt
}

// A copy of the stand-in as "<dir>\app\VelQuillanUI.exe"; it logs to "<dir>\app\VelQuillanUI.log".
class LaunchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    appDir_ = dir_ / L"app";
    ASSERT_TRUE(test::MakeDirs(appDir_));
    ASSERT_TRUE(::CopyFileW((test::BinDir() + L"\\desktop-app-standin.exe").c_str(), App().c_str(), FALSE));
  }

  void TearDown() override {
    for (const std::string& start : Starts()) {  // every copy that was started
      int64_t pid = 0;
      UniqueHandle process(test::JsonInt(start, "pid", &pid)
                               ? ::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, static_cast<DWORD>(pid))
                               : nullptr);
      if (process && ::TerminateProcess(process.get(), 1)) ::WaitForSingleObject(process.get(), 5000);
    }
  }

  std::wstring App() const { return appDir_ + L"\\VelQuillanUI.exe"; }
  std::wstring Log() const { return appDir_ + L"\\VelQuillanUI.log"; }
  std::wstring Module() const { return appDir_ + L"\\bin\\QuillanShellUI.DLL"; }
  int SendBarRecordAt(int loggedIn, int launch) const {
    const std::wstring module = Module();
    return SendBarRecordFor(FakeWindow(0x20), FakeWindow(0x30), L"u", L"e", L"n", L"en", loggedIn, launch, &module)
        .result;
  }
  std::vector<std::string> Starts() const {
    std::vector<std::string> starts;
    for (const std::string& line : test::ReadStandinLog(Log())) {
      if (test::JsonEvent(line) == "start") starts.push_back(line);
    }
    return starts;
  }
  bool WaitForStarts(size_t count, DWORD timeoutMs) const {
    return test::PumpUntil([&] { return Starts().size() >= count; }, timeoutMs);
  }

  test::TempDir dir_;
  std::wstring appDir_;
};

TEST_F(LaunchTest, StartsTheApplicationWithTheLoginArgumentInItsFolder) {
  ASSERT_EQ(LaunchDesktopApp(Module()), 1);
  ASSERT_TRUE(WaitForStarts(1, 10000));
  const std::string start = Starts()[0];
  std::wstring commandLine;
  std::wstring cwd;
  bool login = false;
  ASSERT_TRUE(test::JsonText(start, "commandLine", &commandLine));
  ASSERT_TRUE(test::JsonText(start, "cwd", &cwd));
  ASSERT_TRUE(test::JsonBool(start, "cloudbarlogin", &login));
  EXPECT_EQ(commandLine, L"\"" + App() + L"\" /cloudbarlogin");
  EXPECT_TRUE(EqualsNoCaseAZ(cwd, appDir_)) << WideToUtf8(cwd);
  EXPECT_TRUE(login);
}

TEST_F(LaunchTest, BarRecordStartsTheApplicationOnlyForALoginWithoutMainWindow) {
  // A logged-in account never starts the application, whatever the flag says.
  EXPECT_EQ(SendBarRecordAt(1, 1), 0);
  EXPECT_EQ(SendBarRecordAt(0, 0), 0);
  test::PumpFor(300);
  EXPECT_TRUE(Starts().empty());

  EXPECT_EQ(SendBarRecordAt(0, 1), 1);
  ASSERT_TRUE(WaitForStarts(1, 10000));
  ASSERT_TRUE(test::PumpUntil([] { return FindMainWindow() != nullptr; }, 5000));

  // Now that the application runs, the same request is a record and no second start.
  EXPECT_EQ(SendBarRecordAt(0, 1), 1);
  const std::vector<DesktopAppRecord> records = test::ReadStandinRecords(Log());
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].code, 33777u);
  EXPECT_EQ(records[0].payload,
            BuildBarRecord(FakeWindow(0x20), FakeWindow(0x30), L"u", L"e", L"n", L"en", 0, 1)->payload);
  test::PumpFor(300);
  EXPECT_EQ(Starts().size(), 1u);
}

TEST_F(LaunchTest, RefusesWhatIsNotTheApplicationInTheParentFolder) {
  // No VelQuillanUI.exe above the folder of this test program.
  EXPECT_EQ(LaunchDesktopApp(), 0);
  // A module one folder too deep: its parent folder holds no application.
  EXPECT_EQ(LaunchDesktopApp(appDir_ + L"\\bin\\deeper\\QuillanShellUI.DLL"), 0);
  // A directory of that name.
  const std::wstring other = dir_ / L"other";
  ASSERT_TRUE(test::MakeDirs(other + L"\\VelQuillanUI.exe"));
  EXPECT_EQ(LaunchDesktopApp(other + L"\\bin\\QuillanShellUI.DLL"), 0);
  // A module in a root folder has no parent folder, even with an application in that root.
  const std::wstring root = L"C:\\VelQuillanUI.exe";
  ASSERT_TRUE(::CopyFileW(App().c_str(), root.c_str(), FALSE));
  EXPECT_EQ(LaunchDesktopApp(L"C:\\QuillanShellUI.DLL"), 0);
  EXPECT_EQ(LaunchDesktopApp(L"QuillanShellUI.DLL"), 0);
  test::PumpFor(300);
  EXPECT_FALSE(test::FileExists(L"C:\\VelQuillanUI.log"));
  ::DeleteFileW(root.c_str());
  EXPECT_TRUE(Starts().empty());
}

TEST_F(LaunchTest, RefusesAModulePathOf260CharactersOrMore) {
  // The application sits where it belongs; only the length of the module path differs.
  // A long file name in a short folder, so that nothing but the length stands in the way.
  auto moduleOfLength = [&](size_t length) {
    const std::wstring head = appDir_ + L"\\bin\\";
    return head + std::wstring(length - head.size() - 4, L'b') + L".DLL";
  };
  ASSERT_EQ(moduleOfLength(260).size(), 260u);
  EXPECT_EQ(LaunchDesktopApp(moduleOfLength(300)), 0);
  EXPECT_EQ(LaunchDesktopApp(moduleOfLength(260)), 0);
  test::PumpFor(300);
  EXPECT_TRUE(Starts().empty());
  EXPECT_EQ(LaunchDesktopApp(moduleOfLength(259)), 1);
  EXPECT_TRUE(WaitForStarts(1, 10000));
}

}  // namespace
}  // namespace quillan
