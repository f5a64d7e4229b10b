// The pipe client against the stand-in's engine pipes.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <string>
#include <thread>
#include <vector>

#include "test_support.h"
#include "base/handle.h"
#include "base/text.h"
#include "desktop_app_driver.h"
#include "ipc/pipe_client.h"

namespace quillan {
namespace {

std::wstring Hex(const std::vector<uint8_t>& bytes) {
  std::wstring out;
  for (uint8_t b : bytes) out += {L"0123456789abcdef"[b >> 4], L"0123456789abcdef"[b & 15]};
  return out;
}

// The legacy UI's mutex as another account's process makes it: owned by the system, everyone granted
// SYNCHRONIZE and MUTEX_MODIFY_STATE only.
UniqueHandle CreateLegacyMutex() {
  SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, FALSE};
  EXPECT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"O:SYD:(A;;0x00100001;;;WD)", SDDL_REVISION_1,
                                                                     &sa.lpSecurityDescriptor, nullptr));
  UniqueHandle mutex(::CreateMutexW(&sa, FALSE, L"Local\\velquillanbox_ui_legacy_active_0"));
  ::LocalFree(sa.lpSecurityDescriptor);
  EXPECT_TRUE(mutex);
  return mutex;
}

class PipeClientTest : public ::testing::Test {
 protected:
  void SetUp() override { PipeBackoff::Process().Clear(); }
  void StartStandin(const std::wstring& scenario) {
    ASSERT_TRUE(standin_.Start({L"--no-adopt", L"--scenario", standin_.WriteScenario(scenario)}));
  }
  // A command to the stand-in; the back-off of an earlier failure is forgotten.
  void Command(const std::wstring& command) {
    ASSERT_EQ(standin_.Control(command), 1) << WideToUtf8(command);
    PipeBackoff::Process().Clear();
  }
  test::DesktopAppStandin standin_;
};

TEST_F(PipeClientTest, AsksTheUiHostForTheSyncFolderAndFileStates) {
  const std::wstring root = L"D:\\Sync \x540C\x6B65";
  StartStandin(L"pipe both normal\nsync-root ui_host " + root + L"\nstate 3 " + root + L"\\a.txt\n");
  PipeClient client;
  std::wstring text = L"stale";
  EXPECT_TRUE(client.QuerySyncRoot(&text));
  EXPECT_EQ(text, root);
  EXPECT_EQ(QueryFileState(&client, root + L"\\a.txt"), 3u);
  EXPECT_EQ(QueryFileState(&client, root + L"\\b.txt"), 0u);
  EXPECT_EQ(QueryFileState(nullptr, root + L"\\a.txt"), 0u);
  // Four characters are asked with N = 8, three or fewer not at all, 2000 as their first 1023.
  EXPECT_EQ(QueryFileState(&client, L"D:\\a"), 0u);
  EXPECT_EQ(QueryFileState(&client, L"D:\\"), 0u);
  const std::wstring longPath = L"D:\\" + std::wstring(1997, L'x');
  Command(L"state 5 " + longPath.substr(0, 1023));
  EXPECT_EQ(QueryFileState(&client, longPath), 5u);

  // At most 4091 bytes of data, to the request's last byte; bad arguments never reach the pipe.
  std::vector<uint8_t> data(4092, 0x11);
  data[4090] = 0xAB;
  const std::wstring pipe = L"\\\\.\\pipe\\velquillanbox_ui_host_0";
  uint32_t value = 0;
  EXPECT_FALSE(client.TransactValue(data.data(), 4092, &value, pipe, 0));
  EXPECT_FALSE(client.TransactValue(data.data(), 8, &value, pipe, 2));
  EXPECT_FALSE(client.TransactValue(nullptr, 8, &value, pipe, 0));
  EXPECT_FALSE(client.TransactValue(data.data(), 8, nullptr, pipe, 0));
  EXPECT_FALSE(client.TransactString(&text, pipe, 2));
  EXPECT_TRUE(text.empty());
  Command(L"default-state 1");
  EXPECT_TRUE(client.TransactValue(data.data(), 4091, &value, pipe, 0));
  EXPECT_EQ(value, 1u);

  // Each session is logged once it has answered; without the legacy UI the box pipe is never asked.
  std::vector<std::string> lines;
  EXPECT_TRUE(test::PumpUntil([&] { return (lines = standin_.Lines("pipe")).size() >= 6; }, 3000));
  ASSERT_EQ(lines.size(), 6u);
  const int64_t pathBytes = static_cast<int64_t>(2 * (root.size() + 6));
  const int64_t lengths[] = {0, pathBytes, pathBytes, 8, 2046, 4091};
  for (size_t i = 0; i < lines.size(); ++i) {
    std::wstring pipeName;
    EXPECT_TRUE(test::JsonText(lines[i], "pipe", &pipeName) && pipeName == L"ui_host");
    int64_t bytes = 0, code = 0, length = 0;
    EXPECT_TRUE(test::JsonInt(lines[i], "requestBytes", &bytes) && test::JsonInt(lines[i], "code", &code));
    EXPECT_EQ(bytes, 4096);  // every request is one whole message
    EXPECT_EQ(code, i == 0 ? 1 : 3);
    EXPECT_EQ(i == 0 || test::JsonInt(lines[i], "length", &length) ? length : -1, lengths[i]) << i;
  }
  std::wstring dataHex;
  ASSERT_TRUE(test::JsonText(lines[5], "dataHex", &dataHex));
  EXPECT_EQ(dataHex, Hex(std::vector<uint8_t>(data.begin(), data.begin() + 4091)));
}

TEST_F(PipeClientTest, EachFaultAndEachMalformedReplyFailsTheQuestionWithinItsTime) {
  StartStandin(L"sync-root ui_host D:\\Sync\n");
  std::vector<uint8_t> oversized(4100, 0);  // longer than one message
  oversized[0] = 1;
  const struct {
    std::wstring mode;
    const wchar_t* text;  // null: no answer
    DWORD minMs, maxMs;
    bool backsOff;  // a failed connection or a time-out
  } rows[] = {
      {L"normal", L"D:\\Sync", 0, 300, false},      {L"slow 300", L"D:\\Sync", 290, 700, false},
      {L"absent", nullptr, 0, 200, true},            {L"busy", nullptr, 25, 300, true},
      {L"silent", nullptr, 990, 1300, true},         {L"disconnect", nullptr, 0, 800, false},
      {L"short", nullptr, 0, 800, false},            {L"wrong-code", nullptr, 0, 800, false},
      {L"odd-length", nullptr, 0, 800, false},       {L"negative-length", nullptr, 0, 800, false},
      {L"long-length", nullptr, 0, 800, false},      {L"raw " + Hex(oversized), nullptr, 0, 800, false},
      // Exactly 5 bytes with L = 0; L = 4, also with bytes after the text; L beyond what came, odd,
      // negative; the other code echoed; 4 bytes.
      {L"raw 0100000000", L"", 0, 300, false},       {L"raw 010400000044003a00", L"D:", 0, 300, false},
      {L"raw 010400000044003a00ffff", L"D:", 0, 300, false}, {L"raw 01040000004400", nullptr, 0, 300, false},
      {L"raw 010300000044003a00", nullptr, 0, 300, false},   {L"raw 01feffffff4400", nullptr, 0, 300, false},
      {L"raw 03040000004400", nullptr, 0, 300, false},       {L"raw 01000000", nullptr, 0, 300, false},
  };
  for (const auto& row : rows) {
    const std::string mode = WideToUtf8(row.mode.substr(0, 40));
    Command(L"pipe ui_host " + row.mode);
    std::wstring text = L"stale";
    const DWORD start = ::GetTickCount();
    EXPECT_EQ(PipeClient().QuerySyncRoot(&text), row.text != nullptr) << mode;
    const DWORD elapsed = ::GetTickCount() - start;
    EXPECT_EQ(text, row.text ? row.text : L"") << mode;  // nothing partial
    EXPECT_GE(elapsed, row.minMs) << mode;
    EXPECT_LE(elapsed, row.maxMs) << mode;
    EXPECT_EQ(PipeBackoff::Process().Active(0), row.backsOff) << mode;
  }
  const struct {
    const wchar_t* mode;
    bool accepted;
    uint32_t value;
  } values[] = {
      {L"raw 0303000000", true, 3},  {L"raw 03030000001122", true, 3}, {L"raw 03feffffff", true, 0xFFFFFFFE},
      {L"raw 0103000000", false, 0}, {L"raw 03030000", false, 0},      {L"disconnect", false, 0},
  };
  for (const auto& row : values) {
    Command(std::wstring(L"pipe ui_host ") + row.mode);
    uint32_t answer = 99;
    EXPECT_EQ(PipeClient().QueryValue(L"D:\\Sync\\a", 18, &answer), row.accepted) << WideToUtf8(row.mode);
    EXPECT_EQ(answer, row.value) << WideToUtf8(row.mode);
  }
}

TEST_F(PipeClientTest, TheBoxPipeIsAskedOnlyWhileTheLegacyUiHoldsItsMutex) {
  StartStandin(L"pipe both normal\nsync-root ui_host\nsync-root box E:\\Box\n");
  EXPECT_FALSE(IsLegacyUiActive());  // no mutex
  PipeClient client;
  std::wstring text = L"stale";
  uint32_t value = 99;
  {
    // Abandoned: its owner ended without releasing it; asking takes it over and gives it back.
    UniqueHandle mutex = CreateLegacyMutex();
    std::thread([&] { ::WaitForSingleObject(mutex.get(), INFINITE); }).join();
    EXPECT_FALSE(IsLegacyUiActive());
    EXPECT_FALSE(IsLegacyUiActive());
    EXPECT_TRUE(client.QuerySyncRoot(&text));  // an empty answer and no fallback
    EXPECT_EQ(text, L"");
    Command(L"pipe box raw 0307000000");
    EXPECT_TRUE(client.QueryValue(L"D:\\Sync\\a", 18, &value));
    EXPECT_EQ(value, 0u);
  }
  UniqueHandle mutex = CreateLegacyMutex(), taken(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
               release(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  std::thread owner([&] {
    ::WaitForSingleObject(mutex.get(), INFINITE);
    ::SetEvent(taken.get());
    ::WaitForSingleObject(release.get(), INFINITE);
    ::ReleaseMutex(mutex.get());
  });
  ::WaitForSingleObject(taken.get(), INFINITE);
  EXPECT_TRUE(IsLegacyUiActive());
  EXPECT_TRUE(IsLegacyUiActive());  // asking does not take it away
  EXPECT_EQ(QueryFileState(&client, L"D:\\Sync\\a"), 7u);
  Command(L"pipe box normal");
  EXPECT_TRUE(client.QuerySyncRoot(&text));
  EXPECT_EQ(text, L"E:\\Box");
  // The UI host's own answer wins; a dead UI host falls through to the box pipe.
  Command(L"sync-root ui_host D:\\Sync");
  EXPECT_TRUE(client.QuerySyncRoot(&text));
  EXPECT_EQ(text, L"D:\\Sync");
  Command(L"pipe ui_host absent");
  EXPECT_TRUE(client.QuerySyncRoot(&text));
  EXPECT_EQ(text, L"E:\\Box");
  ::SetEvent(release.get());
  owner.join();
  EXPECT_FALSE(IsLegacyUiActive());
  EXPECT_FALSE(client.QuerySyncRoot(&text));
  EXPECT_EQ(text, L"");
}

TEST_F(PipeClientTest, AFailedPipeIsLeftAloneFor100Milliseconds) {
  StartStandin(L"sync-root ui_host D:\\Sync\n");
  std::wstring text;
  // 85 ms after a failed connection the pipe is up again but not tried. The back-off starts between
  // asked and failed; a round that the machine's load pushes past 100 ms from asked proves nothing.
  bool inside = false;
  DWORD failed = 0;
  for (int round = 0; round < 5 && !inside; ++round) {
    Command(L"pipe ui_host absent");
    const DWORD asked = ::GetTickCount();
    EXPECT_FALSE(PipeClient().QuerySyncRoot(&text));
    failed = ::GetTickCount();
    ASSERT_EQ(standin_.Control(L"pipe ui_host normal"), 1);
    while (::GetTickCount() - failed < 85) ::Sleep(1);
    const bool answered = PipeClient().QuerySyncRoot(&text);
    if (::GetTickCount() - asked >= 100) continue;
    EXPECT_FALSE(answered);
    inside = true;
  }
  ASSERT_TRUE(inside) << "no round stayed inside 100 ms";
  while (::GetTickCount() - failed < 100) ::Sleep(1);
  EXPECT_TRUE(PipeClient().QuerySyncRoot(&text));
  EXPECT_EQ(text, L"D:\\Sync");
}

}  // namespace
}  // namespace quillan
