// The maintenance export against host windows of other threads: each is asked once to close its
// Explorer window, whatever the letter case of its class, and a hung one costs one time-out.
#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <thread>
#include <vector>

#include "base/handle.h"
#include "shell_dll.h"

namespace quillan {
namespace {

struct Request {
  WPARAM wParam;
  ULONG_PTR code;
  DWORD size;
  const void* data;
};
std::map<HWND, std::vector<Request>> g_requests;  // written on the windows' threads, read after they end

LRESULT CALLBACK Record(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_COPYDATA) return ::DefWindowProcW(window, message, wParam, lParam);
  const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
  g_requests[window].push_back({wParam, data->dwData, data->cbData, data->lpData});
  return TRUE;
}

// One thread with top-level windows of the given classes; it serves them until done is set, or, hung,
// takes no message at all until then.
class WindowThread {
 public:
  WindowThread(std::vector<std::wstring> classes, bool hung, HANDLE done) {
    UniqueHandle ready(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    thread_ = std::thread([=, &ready] {
      for (const std::wstring& name : classes) {
        WNDCLASSW windowClass = {0, &Record, 0, 0, ::GetModuleHandleW(nullptr)};
        windowClass.lpszClassName = name.c_str();
        ::RegisterClassW(&windowClass);  // registered once per name, whatever its case
        windows_.push_back(::CreateWindowExW(0, name.c_str(), L"", WS_POPUP, 0, 0, 0, 0, ::GetDesktopWindow(),
                                             nullptr, windowClass.hInstance, nullptr));
      }
      ::SetEvent(ready.get());
      if (hung) {
        ::WaitForSingleObject(done, INFINITE);
      } else {
        while (::MsgWaitForMultipleObjects(1, &done, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
          MSG msg;
          while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
        }
      }
      for (HWND window : windows_) ::DestroyWindow(window);
    });
    ::WaitForSingleObject(ready.get(), INFINITE);
  }
  ~WindowThread() { thread_.join(); }
  const std::vector<HWND>& windows() const { return windows_; }

 private:
  std::vector<HWND> windows_;
  std::thread thread_;
};

TEST(CloseExplorerWithCloudBar, AsksEveryHostWindowOnceAndPassesOverAHungOneAfterItsTimeOut) {
  test::ShellDll dll;
  ASSERT_TRUE(dll.loaded());
  EXPECT_EQ(dll.closeExplorerWithCloudBar(), 0);  // none yet
  UniqueHandle done(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  const std::wstring host = L"{DE16D8FE-F468-49A7-85B4-414CF06C72E5}";
  std::vector<HWND> asked, other;
  int result = -1;
  DWORD elapsed = 0;
  {
    // The class registered in lower case first: its windows report the name that way.
    WindowThread lower({L"{de16d8fe-f468-49a7-85b4-414cf06c72e5}"}, false, done.get());
    WindowThread served({host, host, L"{DE16D8FE-F468-49A7-85B4-414CF06C72E6}"}, false, done.get());
    WindowThread hung({host}, true, done.get());
    asked = {lower.windows()[0], served.windows()[0], served.windows()[1]};
    other = {served.windows()[2], hung.windows()[0]};
    std::thread([&] {  // any thread, no COM
      const DWORD start = ::GetTickCount();
      result = dll.closeExplorerWithCloudBar();
      elapsed = ::GetTickCount() - start;
    }).join();
    ::SetEvent(done.get());
  }
  EXPECT_EQ(result, 0);
  EXPECT_GE(elapsed, 480u);  // the hung window's 500 ms, and no more
  EXPECT_LT(elapsed, 900u);
  for (HWND window : asked) {
    ASSERT_EQ(g_requests[window].size(), 1u);
    const Request& request = g_requests[window][0];
    EXPECT_EQ(request.wParam, 0u);
    EXPECT_EQ(request.code, 33774u);
    EXPECT_EQ(request.size, 0u);
    EXPECT_EQ(request.data, nullptr);
  }
  for (HWND window : other) EXPECT_EQ(g_requests.count(window), 0u);  // another class; never answered
}

}  // namespace
}  // namespace quillan
