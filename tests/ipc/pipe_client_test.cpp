// The pipe client against the stand-in's engine pipes (each fault mode, each reply check, the legacy
// fallback, the back-off), and against pipe servers of the test's own.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "base/handle.h"
#include "base/text.h"
#include "desktop_app_standin.h"
#include "ipc/pipe_client.h"
#include "import_hook.h"
#include "test_support.h"

namespace quillan {
namespace {

using test::DesktopAppStandin;

std::wstring Hex(const std::vector<uint8_t>& bytes) {
  static const wchar_t digits[] = L"0123456789abcdef";
  std::wstring out;
  for (uint8_t b : bytes) {
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

// Watches this program's pipe opens (CreateFileW) and waits (WaitNamedPipeW) while it lives.
class PipeWatch {
 public:
  struct Open {
    std::wstring name;
    DWORD access, share, disposition, flags;
  };

  // keepConnections: every pipe opened gets a second handle, held until the watch ends, so that the
  // connection outlives the client's own handle. beforeWait runs just before each wait.
  explicit PipeWatch(bool keepConnections = false, std::function<void()> beforeWait = nullptr)
      : openHook_("kernel32.dll", "CreateFileW", reinterpret_cast<void*>(&Opening)),
        waitHook_("kernel32.dll", "WaitNamedPipeW", reinterpret_cast<void*>(&Waiting)) {
    opens_.clear();
    waits_.clear();
    kept_.clear();
    keep_ = keepConnections;
    beforeWait_ = std::move(beforeWait);
    realOpen_ = reinterpret_cast<decltype(&::CreateFileW)>(openHook_.original());
    realWait_ = reinterpret_cast<decltype(&::WaitNamedPipeW)>(waitHook_.original());
  }
  ~PipeWatch() {
    kept_.clear();
    beforeWait_ = nullptr;
  }
  bool installed() const { return openHook_.installed() && waitHook_.installed(); }
  static const std::vector<Open>& opens() { return opens_; }
  static const std::vector<DWORD>& waits() { return waits_; }
  static void SetBeforeWait(std::function<void()> action) { beforeWait_ = std::move(action); }

 private:
  static HANDLE WINAPI Opening(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                               DWORD disposition, DWORD flags, HANDLE templateFile) {
    const bool pipe = name && std::wstring(name).rfind(L"\\\\.\\pipe\\", 0) == 0;
    if (pipe) opens_.push_back(Open{name, access, share, disposition, flags});
    HANDLE handle = realOpen_(name, access, share, security, disposition, flags, templateFile);
    HANDLE second = nullptr;
    if (pipe && keep_ && handle != INVALID_HANDLE_VALUE &&
        ::DuplicateHandle(::GetCurrentProcess(), handle, ::GetCurrentProcess(), &second, 0, FALSE,
                          DUPLICATE_SAME_ACCESS)) {
      kept_.emplace_back(second);
    }
    return handle;
  }
  static BOOL WINAPI Waiting(LPCWSTR name, DWORD timeout) {
    waits_.push_back(timeout);
    if (beforeWait_) beforeWait_();
    return realWait_(name, timeout);
  }

  static inline std::vector<Open> opens_;
  static inline std::vector<DWORD> waits_;
  static inline std::vector<UniqueFile> kept_;
  static inline bool keep_ = false;
  static inline std::function<void()> beforeWait_;
  static inline decltype(&::CreateFileW) realOpen_ = nullptr;
  static inline decltype(&::WaitNamedPipeW) realWait_ = nullptr;
  test::ImportHook openHook_;
  test::ImportHook waitHook_;
};

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

  // The stand-in's log lines of one pipe; each is written once its session has answered.
  std::vector<std::string> PipeLines(const char* pipe) const {
    std::vector<std::string> kept;
    for (const std::string& line : standin_.Lines("pipe")) {
      std::wstring name;
      if (test::JsonText(line, "pipe", &name) && WideToUtf8(name) == pipe) kept.push_back(line);
    }
    return kept;
  }
  bool WaitForPipeLines(const char* pipe, size_t count, DWORD timeoutMs = 3000) const {
    return test::PumpUntil([&] { return PipeLines(pipe).size() >= count; }, timeoutMs);
  }

  DesktopAppStandin standin_;
};

TEST_F(PipeClientTest, AsksTheUiHostForTheSyncFolderAndFileStates) {
  const std::wstring root = L"D:\\Sync \x540C\x6B65";
  StartStandin(L"pipe both normal\nsync-root ui_host " + root + L"\nstate 3 " + root + L"\\a.txt\n");
  PipeClient client;
  std::wstring text = L"stale";
  {
    PipeWatch watch;
    ASSERT_TRUE(watch.installed());
    EXPECT_TRUE(client.QuerySyncRoot(&text));
    ASSERT_EQ(watch.opens().size(), 1u);
    const PipeWatch::Open& call = watch.opens()[0];
    EXPECT_EQ(call.name, L"\\\\.\\pipe\\velquillanbox_ui_host_0");
    EXPECT_EQ(call.access, static_cast<DWORD>(GENERIC_READ | GENERIC_WRITE));
    EXPECT_EQ(call.share, 0u);
    // A server can learn who asks but cannot act as the caller: identification, no context tracking.
    EXPECT_EQ(call.flags, static_cast<DWORD>(FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION));
  }
  EXPECT_EQ(text, root);
  EXPECT_EQ(QueryFileState(&client, root + L"\\a.txt"), 3u);
  EXPECT_EQ(QueryFileState(&client, root + L"\\b.txt"), 0u);
  EXPECT_EQ(QueryFileState(nullptr, root + L"\\a.txt"), 0u);

  // Four characters are asked with N = 8; three or fewer are not asked at all.
  EXPECT_EQ(QueryFileState(&client, L"D:\\a"), 0u);
  EXPECT_EQ(QueryFileState(&client, L"D:\\"), 0u);
  // A path of 2000 characters is asked as its first 1023.
  const std::wstring longPath = L"D:\\" + std::wstring(1997, L'x');
  Command(L"state 5 " + longPath.substr(0, 1023));
  EXPECT_EQ(QueryFileState(&client, longPath), 5u);

  ASSERT_TRUE(WaitForPipeLines("ui_host", 5));
  const std::vector<std::string> lines = PipeLines("ui_host");
  ASSERT_EQ(lines.size(), 5u);
  const int64_t pathBytes = static_cast<int64_t>(2 * (root.size() + 6));
  const int64_t expectedLengths[] = {-1, pathBytes, pathBytes, 8, 2046};
  for (size_t i = 0; i < lines.size(); ++i) {
    int64_t code = 0;
    int64_t requestBytes = 0;
    ASSERT_TRUE(test::JsonInt(lines[i], "code", &code));
    ASSERT_TRUE(test::JsonInt(lines[i], "requestBytes", &requestBytes));
    EXPECT_EQ(requestBytes, 4096);  // every request is one whole message
    EXPECT_EQ(code, i == 0 ? 1 : 3);
    if (i == 0) continue;
    int64_t length = 0;
    ASSERT_TRUE(test::JsonInt(lines[i], "length", &length));
    EXPECT_EQ(length, expectedLengths[i]);
  }
  // Without the legacy UI the box pipe is never asked.
  EXPECT_TRUE(PipeLines("box").empty());
}

TEST_F(PipeClientTest, EachFaultModeFailsTheQuestionWithinItsTime) {
  StartStandin(L"sync-root ui_host D:\\Sync\n");
  const struct {
    const wchar_t* mode;
    bool answered;
    DWORD minMs;
    DWORD maxMs;
    bool backsOff;  // a failed connection or a time-out
  } rows[] = {
      {L"normal", true, 0, 300, false},
      {L"slow 300", true, 290, 700, false},
      {L"absent", false, 0, 200, true},
      {L"busy", false, 25, 300, true},
      {L"slow 1500", false, 990, 1450, true},
      {L"silent", false, 990, 1450, true},
      {L"disconnect", false, 0, 800, false},
      {L"short", false, 0, 800, false},
      {L"wrong-code", false, 0, 800, false},
      {L"odd-length", false, 0, 800, false},
      {L"negative-length", false, 0, 800, false},
      {L"long-length", false, 0, 800, false},
  };
  for (const auto& row : rows) {
    Command(std::wstring(L"pipe ui_host ") + row.mode);
    PipeClient client;
    std::wstring text = L"stale";
    const DWORD start = ::GetTickCount();
    EXPECT_EQ(client.QuerySyncRoot(&text), row.answered) << WideToUtf8(row.mode);
    const DWORD elapsed = ::GetTickCount() - start;
    EXPECT_EQ(text, row.answered ? L"D:\\Sync" : L"") << WideToUtf8(row.mode);  // nothing partial
    EXPECT_GE(elapsed, row.minMs) << WideToUtf8(row.mode);
    EXPECT_LE(elapsed, row.maxMs) << WideToUtf8(row.mode);
    EXPECT_EQ(PipeBackoff::Process().Active(kUiHostPipeIndex), row.backsOff) << WideToUtf8(row.mode);
  }
  // The value question fails the same way when the server hangs up.
  Command(L"pipe ui_host disconnect");
  Command(L"default-state 3");
  uint32_t value = 99;
  EXPECT_FALSE(PipeClient().QueryValue(L"D:\\Sync\\a", 18, &value));
  EXPECT_EQ(value, 0u);
}

TEST_F(PipeClientTest, RepliesAreCheckedByteForByte) {
  StartStandin(L"pipe ui_host normal\n");
  const struct {
    const wchar_t* reply;
    bool accepted;
    const wchar_t* text;
  } syncRoot[] = {
      {L"0100000000", true, L""},                    // exactly 5 bytes, L = 0
      {L"01040000004400", false, L""},               // L beyond what came
      {L"010400000044003a00", true, L"D:"},          // L = 4
      {L"010400000044003a00ffff", true, L"D:"},      // bytes after the text are ignored
      {L"010300000044003a00", false, L""},           // odd L
      {L"01feffffff4400", false, L""},               // negative L
      {L"03040000004400", false, L""},               // the other code echoed
      {L"01000000", false, L""},                     // 4 bytes
  };
  for (const auto& row : syncRoot) {
    Command(std::wstring(L"pipe ui_host raw ") + row.reply);
    PipeClient client;
    std::wstring text;
    EXPECT_EQ(client.QuerySyncRoot(&text), row.accepted) << WideToUtf8(row.reply);
    EXPECT_EQ(text, row.text) << WideToUtf8(row.reply);
  }
  // A reply longer than one message fails.
  std::vector<uint8_t> oversized(4100, 0);
  oversized[0] = 1;
  Command(L"pipe ui_host raw " + Hex(oversized));
  std::wstring text;
  EXPECT_FALSE(PipeClient().QuerySyncRoot(&text));

  const struct {
    const wchar_t* reply;
    bool accepted;
    uint32_t value;
  } value[] = {
      {L"0303000000", true, 3},
      {L"03030000001122", true, 3},  // further bytes ignored
      {L"03feffffff", true, 0xFFFFFFFE},
      {L"0103000000", false, 0},
      {L"03030000", false, 0},
  };
  for (const auto& row : value) {
    Command(std::wstring(L"pipe ui_host raw ") + row.reply);
    PipeClient client;
    uint32_t answer = 99;
    EXPECT_EQ(client.QueryValue(L"D:\\Sync\\a", 18, &answer), row.accepted) << WideToUtf8(row.reply);
    EXPECT_EQ(answer, row.value) << WideToUtf8(row.reply);
  }
}

TEST_F(PipeClientTest, ValueRequestsCarryAtMost4091Bytes) {
  StartStandin(L"pipe ui_host normal\ndefault-state 1\n");
  std::vector<uint8_t> data(4092, 0x11);
  data[4090] = 0xAB;
  PipeClient client;
  uint32_t value = 0;
  EXPECT_FALSE(client.TransactValue(data.data(), 4092, &value, kUiHostPipeName, kUiHostPipeIndex));
  EXPECT_FALSE(client.TransactValue(data.data(), 8, &value, kUiHostPipeName, 2));
  EXPECT_FALSE(client.TransactValue(nullptr, 8, &value, kUiHostPipeName, kUiHostPipeIndex));
  EXPECT_FALSE(client.TransactValue(data.data(), 8, nullptr, kUiHostPipeName, kUiHostPipeIndex));
  std::wstring text = L"x";
  EXPECT_FALSE(client.TransactString(&text, kUiHostPipeName, 2));
  EXPECT_TRUE(text.empty());
  test::PumpFor(200);
  EXPECT_TRUE(PipeLines("ui_host").empty());  // none of these reached the pipe

  EXPECT_TRUE(client.TransactValue(data.data(), 4091, &value, kUiHostPipeName, kUiHostPipeIndex));
  EXPECT_EQ(value, 1u);
  ASSERT_TRUE(WaitForPipeLines("ui_host", 1));
  std::wstring dataHex;
  int64_t length = 0;
  ASSERT_TRUE(test::JsonInt(PipeLines("ui_host")[0], "length", &length));
  ASSERT_TRUE(test::JsonText(PipeLines("ui_host")[0], "dataHex", &dataHex));
  EXPECT_EQ(length, 4091);
  EXPECT_EQ(dataHex, Hex(std::vector<uint8_t>(data.begin(), data.begin() + 4091)));  // to the last byte
}

TEST_F(PipeClientTest, TheBoxPipeIsAskedOnlyWhileTheLegacyUiHoldsItsMutex) {
  StartStandin(L"pipe both normal\nsync-root ui_host\nsync-root box E:\\Box\npipe box raw 0307000000\n");
  EXPECT_FALSE(IsLegacyUiActive());
  PipeClient client;
  std::wstring text = L"stale";
  EXPECT_TRUE(client.QuerySyncRoot(&text));  // an empty answer without fallback
  EXPECT_EQ(text, L"");
  uint32_t value = 99;
  EXPECT_TRUE(client.QueryValue(L"D:\\Sync\\a", 18, &value));
  EXPECT_EQ(value, 0u);
  test::PumpFor(200);
  EXPECT_TRUE(PipeLines("box").empty());

  // Held by the stand-in's thread: another owner, so the legacy UI is active.
  Command(L"mutex hold");
  EXPECT_TRUE(IsLegacyUiActive());
  EXPECT_TRUE(IsLegacyUiActive());  // asking does not take it away
  Command(L"pipe box normal");
  EXPECT_TRUE(client.QuerySyncRoot(&text));
  EXPECT_EQ(text, L"E:\\Box");
  Command(L"pipe box raw 0307000000");
  EXPECT_EQ(QueryFileState(&client, L"D:\\Sync\\a"), 7u);
  ASSERT_TRUE(WaitForPipeLines("box", 2));

  // The UI host's own answer wins when it has one; a dead UI host falls through to the box pipe.
  Command(L"sync-root ui_host D:\\Sync");
  EXPECT_TRUE(client.QuerySyncRoot(&text));
  EXPECT_EQ(text, L"D:\\Sync");
  Command(L"pipe ui_host absent");
  Command(L"pipe box normal");
  EXPECT_TRUE(client.QuerySyncRoot(&text));
  EXPECT_EQ(text, L"E:\\Box");

  Command(L"mutex release");
  EXPECT_FALSE(IsLegacyUiActive());
  EXPECT_FALSE(client.QuerySyncRoot(&text));
  EXPECT_EQ(text, L"");
}

TEST_F(PipeClientTest, AFailedPipeIsLeftAloneFor100Milliseconds) {
  StartStandin(L"sync-root ui_host D:\\Sync\n");
  PipeWatch watch;
  ASSERT_TRUE(watch.installed());
  std::wstring text;
  // The pipe fails, then comes up at once (the command returns once it listens); a question inside the
  // window does not even try to open it. A loaded machine may need another round to stay inside it.
  bool checkedInside = false;
  DWORD failed = 0;
  for (int round = 0; round < 5 && !checkedInside; ++round) {
    Command(L"pipe ui_host absent");
    const size_t opensBefore = watch.opens().size();
    // The back-off starts somewhere between these two ticks.
    const DWORD asked = ::GetTickCount();
    EXPECT_FALSE(PipeClient().QuerySyncRoot(&text));
    failed = ::GetTickCount();
    ASSERT_EQ(standin_.Control(L"pipe ui_host normal"), 1);
    const DWORD start = ::GetTickCount();
    if (start - asked >= 80) continue;
    EXPECT_FALSE(PipeClient().QuerySyncRoot(&text));
    EXPECT_LT(::GetTickCount() - start, 20u);
    EXPECT_EQ(watch.opens().size(), opensBefore + 1);  // only the first question opened the pipe
    checkedInside = true;
  }
  ASSERT_TRUE(checkedInside) << "the stand-in never brought the pipe up within 80 ms";

  while (::GetTickCount() - failed < kPipeBackoffMs) ::Sleep(5);
  const size_t opensBefore = watch.opens().size();
  EXPECT_TRUE(PipeClient().QuerySyncRoot(&text));
  EXPECT_EQ(text, L"D:\\Sync");
  EXPECT_EQ(watch.opens().size(), opensBefore + 1);
  ASSERT_TRUE(WaitForPipeLines("ui_host", 1));
  test::PumpFor(200);
  EXPECT_EQ(PipeLines("ui_host").size(), 1u);

  // A time-out backs off the same way; a malformed reply does not.
  Command(L"pipe ui_host silent");
  EXPECT_FALSE(PipeClient().QuerySyncRoot(&text));
  EXPECT_FALSE(PipeClient().QuerySyncRoot(&text));
  ASSERT_TRUE(WaitForPipeLines("ui_host", 2));
  Command(L"pipe ui_host short");
  EXPECT_FALSE(PipeClient().QuerySyncRoot(&text));
  EXPECT_FALSE(PipeClient().QuerySyncRoot(&text));
  ASSERT_TRUE(WaitForPipeLines("ui_host", 4));
  test::PumpFor(200);
  EXPECT_EQ(PipeLines("ui_host").size(), 4u);
}

TEST(PipeClientBusy, ABusyPipeIsWaitedFor30MillisecondsOnce) {
  PipeBackoff::Process().Clear();
  const std::wstring name = L"\\\\.\\pipe\\quillan-test-busy-" + std::to_wstring(::GetCurrentProcessId());
  const auto newInstance = [&] {
    return UniqueFile(::CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE,
                                         PIPE_UNLIMITED_INSTANCES, 8192, 8192, 0, nullptr));
  };
  // The only instance is taken by another client; a free one appears while the client waits for one.
  UniqueFile first = newInstance();
  ASSERT_TRUE(first.valid());
  UniqueFile occupant(::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(occupant.valid());
  UniqueFile second;
  UniqueHandle freed(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  std::thread server([&] {
    if (::WaitForSingleObject(freed.get(), 10000) != WAIT_OBJECT_0) return;
    if (!::ConnectNamedPipe(second.get(), nullptr) && ::GetLastError() != ERROR_PIPE_CONNECTED) return;
    uint8_t request[4096];
    DWORD got = 0;
    ::ReadFile(second.get(), request, sizeof request, &got, nullptr);
    const std::vector<uint8_t> reply = BuildSyncRootReply(L"D:\\Busy");
    DWORD written = 0;
    ::WriteFile(second.get(), reply.data(), static_cast<DWORD>(reply.size()), &written, nullptr);
    ::ReadFile(second.get(), request, sizeof request, &got, nullptr);  // until the client hangs up
  });
  PipeWatch watch(false, [&] {
    second = newInstance();
    ::SetEvent(freed.get());
  });
  ASSERT_TRUE(watch.installed());

  PipeClientOptions options;
  options.uiHostPipe = name;
  std::wstring text;
  EXPECT_TRUE(PipeClient(options).QuerySyncRoot(&text));
  ::SetEvent(freed.get());
  server.join();
  EXPECT_EQ(text, L"D:\\Busy");
  EXPECT_EQ(watch.waits(), std::vector<DWORD>{30});
  EXPECT_EQ(watch.opens().size(), 2u);  // busy, then the instance that came free

  // Busy for longer than the wait: no further attempt, and the pipe backs off.
  PipeWatch::SetBeforeWait(nullptr);
  second.reset();
  const DWORD start = ::GetTickCount();
  EXPECT_FALSE(PipeClient(options).QuerySyncRoot(&text));
  EXPECT_GE(::GetTickCount() - start, 25u);
  EXPECT_EQ(watch.waits(), (std::vector<DWORD>{30, 30}));
  EXPECT_EQ(watch.opens().size(), 3u);
  EXPECT_TRUE(PipeBackoff::Process().Active(kUiHostPipeIndex));
}

}  // namespace
}  // namespace quillan
