// Pipe client round trips against the stand-in's engine, beside the floor measured in the same run: a
// bare message-mode TransactNamedPipe of 4096 bytes each way on a pipe of this program's own. Then the
// dead-engine path: the first failure, and calls inside the back-off window.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "base/handle.h"
#include "bench_support.h"
#include "desktop_app_driver.h"
#include "ipc/pipe_client.h"
#include "ipc_peer/engine_replies.h"

namespace {

using namespace quillan;
using namespace quillan::bench;

// The same question against a minimal engine of this program's own, which answers at once without
// logging: what the client's connection per question costs, apart from the stand-in's work.
double OwnEngineQuestion() {
  const std::wstring name = L"\\\\.\\pipe\\quillan-bench-engine-" + std::to_wstring(::GetCurrentProcessId());
  auto open = [&] {
    return ::CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT,
                              PIPE_UNLIMITED_INSTANCES, 8192, 8192, 0, nullptr);
  };
  volatile bool stop = false;
  UniqueFile first(open());
  if (!first) return 0;
  std::thread engine([&] {
    UniqueFile current = std::move(first);
    const std::vector<uint8_t> reply = BuildSyncRootReply(L"D:\\Sync");
    std::vector<uint8_t> request(kPipeMessageSize);
    while (!stop) {
      if (!::ConnectNamedPipe(current.get(), nullptr) && ::GetLastError() != ERROR_PIPE_CONNECTED) {
        current.reset(open());
        continue;
      }
      UniqueFile next(open());  // a free instance for the next caller while this one is answered
      DWORD got = 0;
      DWORD written = 0;
      if (::ReadFile(current.get(), request.data(), kPipeMessageSize, &got, nullptr)) {
        ::WriteFile(current.get(), reply.data(), static_cast<DWORD>(reply.size()), &written, nullptr);
        ::ReadFile(current.get(), request.data(), kPipeMessageSize, &got, nullptr);  // until it hangs up
      }
      current = std::move(next);
    }
  });
  PipeBackoff backoff = {};
  PipeClientOptions options;
  options.uiHostPipe = name;
  options.backoff = &backoff;
  const double result = Median(20, 300, [&] {
    PipeClient client(options);
    std::wstring text;
    client.QuerySyncRoot(&text);
  });
  stop = true;
  UniqueFile wake(::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  wake.reset();
  engine.join();
  return result;
}

}  // namespace

int main() {
  const double bare = BareRoundTrip(L"pipe");
  Figure("pipe.bare_transact", bare);
  const double ownEngine = OwnEngineQuestion();
  Figure("pipe.own_engine_question", ownEngine);

  harness::DesktopAppStandin standin;
  const std::wstring scenario =
      L"pipe ui_host normal\nsync-root ui_host D:\\Sync\nstate 3 D:\\Sync\\a.txt\n";
  if (!standin.Start({L"--no-adopt", L"--scenario", standin.WriteScenario(scenario)}, std::wstring())) {
    std::printf("pipe.standin: not started\n");
    return 0;
  }

  // As the context menu asks: a fresh client per question, its own connection per transaction.
  // A wrong answer would put the pipe into its back-off and make every later figure meaningless.
  int wrong = 0;
  const double syncRoot = Median(20, 300, [&] {
    PipeClient client;
    std::wstring text;
    if (!client.QuerySyncRoot(&text) || text != L"D:\\Sync") ++wrong;
  });
  const double fileState = Median(20, 300, [&] {
    PipeClient client;
    if (QueryFileState(&client, L"D:\\Sync\\a.txt") != 3) ++wrong;
  });
  std::printf("pipe.wrong_answers: %d count\n", wrong);
  Figure("pipe.sync_root", syncRoot);
  Figure("pipe.file_state", fileState);
  if (bare > 0 && wrong == 0) {
    std::printf("pipe.sync_root ratio: %.2f\n", syncRoot / bare);
    std::printf("pipe.file_state ratio: %.2f\n", fileState / bare);
  }
  if (ownEngine > 0 && wrong == 0) std::printf("pipe.sync_root_vs_own_engine ratio: %.2f\n", syncRoot / ownEngine);

  // The engine goes away: the first question finds no pipe, the next ones fall inside the back-off.
  standin.Control(L"pipe both absent");
  PipeBackoff::Process().Clear();
  double start = Now();
  {
    PipeClient client;
    std::wstring text;
    client.QuerySyncRoot(&text);
  }
  Figure("pipe.dead_first_failure", Now() - start);

  // The transaction a question runs on a pipe inside its back-off window.
  PipeClient client;
  std::wstring text;
  const int kCalls = 100000;
  start = Now();
  for (int i = 0; i < kCalls; ++i) client.TransactString(&text, kUiHostPipeName, kUiHostPipeIndex);
  const double perCall = (Now() - start) / kCalls;
  std::printf("pipe.backoff_call: %.0f ns\n", perCall * 1e9);

  // A whole question inside the window: the back-off answers at once, then the legacy-UI mutex is looked up.
  PipeBackoff::Process().MarkFailed(kUiHostPipeIndex);
  const double question = Median(10, 1000, [&] {
    PipeClient fresh;
    std::wstring answer;
    fresh.QuerySyncRoot(&answer);
  });
  std::printf("pipe.backoff_question: %.0f ns\n", question * 1e9);
  return 0;
}
