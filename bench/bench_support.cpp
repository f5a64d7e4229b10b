#include "bench_support.h"

#include <windows.h>

#include <cstdio>
#include <thread>

#include "base/handle.h"
#include "ipc/pipe_client.h"

namespace quillan::bench {

double Now() {
  static const double frequency = [] {
    LARGE_INTEGER f;
    ::QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  LARGE_INTEGER counter;
  ::QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) / frequency;
}

double MedianOf(std::vector<double> times) {
  if (times.empty()) return 0;
  std::nth_element(times.begin(), times.begin() + static_cast<std::ptrdiff_t>(times.size() / 2), times.end());
  return times[times.size() / 2];
}

void Figure(const char* name, double seconds) { std::printf("%s: %.1f us\n", name, seconds * 1e6); }

double BareRoundTrip(const std::wstring& tag) {
  const std::wstring name = L"\\\\.\\pipe\\quillan-bench-" + tag + L"-" + std::to_wstring(::GetCurrentProcessId());
  UniqueFile server(::CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT,
                                       1, 8192, 8192, 0, nullptr));
  if (!server) return 0;
  std::thread echo([&] {
    if (!::ConnectNamedPipe(server.get(), nullptr) && ::GetLastError() != ERROR_PIPE_CONNECTED) return;
    std::vector<uint8_t> buffer(kPipeMessageSize);
    DWORD got = 0;
    DWORD written = 0;
    while (::ReadFile(server.get(), buffer.data(), kPipeMessageSize, &got, nullptr) && got > 0) {
      if (!::WriteFile(server.get(), buffer.data(), kPipeMessageSize, &written, nullptr)) break;
    }
  });
  UniqueFile client(::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OVERLAPPED, nullptr));
  DWORD mode = PIPE_READMODE_MESSAGE;
  UniqueHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  double result = 0;
  if (client && ::SetNamedPipeHandleState(client.get(), &mode, nullptr, nullptr) && event) {
    std::vector<uint8_t> request(kPipeMessageSize, 1);
    std::vector<uint8_t> reply(kPipeMessageSize);
    result = Median(50, 1000, [&] {
      OVERLAPPED overlapped = {};
      overlapped.hEvent = event.get();
      ::ResetEvent(event.get());
      DWORD got = 0;
      if (!::TransactNamedPipe(client.get(), request.data(), kPipeMessageSize, reply.data(), kPipeMessageSize, &got,
                               &overlapped) &&
          ::GetLastError() == ERROR_IO_PENDING) {
        ::WaitForSingleObject(event.get(), INFINITE);
      }
      ::GetOverlappedResult(client.get(), &overlapped, &got, FALSE);
    });
  }
  client.reset();  // ends the echo server's read loop
  echo.join();
  return result;
}

}  // namespace quillan::bench
