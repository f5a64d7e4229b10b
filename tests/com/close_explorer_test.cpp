// The maintenance export, against host windows in other processes.
#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "base/handle.h"
#include "base/text.h"
#include "com_test_support.h"
#include "test_support.h"

namespace quillan {
namespace {

const wchar_t kHostClass[] = L"{DE16D8FE-F468-49A7-85B4-414CF06C72E5}";
const wchar_t kHostClassLower[] = L"{de16d8fe-f468-49a7-85b4-414cf06c72e5}";
const wchar_t kNeighbourClass[] = L"{DE16D8FE-F468-49A7-85B4-414CF06C72E6}";

struct Helper {
  test::ChildProcess process;
  std::wstring report;
  UniqueHandle ready;
};

struct Received {
  std::map<std::string, std::string> classOf;              // window -> class
  std::map<std::string, std::vector<std::string>> requests;  // window -> what it received
};

Received ReadReport(const std::wstring& path) {
  Received received;
  std::string text;
  test::ReadBytes(path, &text);
  std::istringstream lines(text);
  std::string kind;
  std::string window;
  while (lines >> kind >> window) {
    std::string rest;
    std::getline(lines, rest);
    if (kind == "window") received.classOf[window] = rest.substr(1);
    if (kind == "copydata") received.requests[window].push_back(rest.substr(1));
  }
  return received;
}

class CloseExplorerWithCloudBar : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dll_.loaded());
    quitName_ = L"quillan-close-quit-" + std::to_wstring(::GetCurrentProcessId());
    quit_.reset(::CreateEventW(nullptr, TRUE, FALSE, quitName_.c_str()));
    ASSERT_TRUE(quit_);
  }

  void TearDown() override { ::SetEvent(quit_.get()); }

  void StartHelper(const std::wstring& mode, const std::vector<std::wstring>& classes) {
    auto helper = std::make_unique<Helper>();
    std::wstring index = std::to_wstring(helpers_.size());
    helper->report = folder_ / (L"report" + index + L".txt");
    std::wstring readyName = quitName_ + L"-ready" + index;
    helper->ready.reset(::CreateEventW(nullptr, TRUE, FALSE, readyName.c_str()));
    std::wstring exe = test::BinDir() + L"\\host_window_helper.exe";
    std::wstring commandLine = test::QuoteArg(exe) + L" " + test::QuoteArg(helper->report) + L" " + readyName + L" " +
                               quitName_ + L" " + mode;
    for (const std::wstring& name : classes) commandLine += L" " + name;
    ASSERT_TRUE(helper->process.Start(exe, commandLine));
    ASSERT_EQ(::WaitForSingleObject(helper->ready.get(), 20000), WAIT_OBJECT_0);
    helpers_.push_back(std::move(helper));
  }

  // Lets the helpers go and collects what each window received.
  std::vector<Received> Finish() {
    ::SetEvent(quit_.get());
    std::vector<Received> received;
    for (auto& helper : helpers_) {
      EXPECT_TRUE(helper->process.Wait(20000));
      received.push_back(ReadReport(helper->report));
    }
    return received;
  }

  test::ShellDll dll_;
  test::TempDir folder_;
  std::wstring quitName_;
  UniqueHandle quit_;
  std::vector<std::unique_ptr<Helper>> helpers_;
};

TEST_F(CloseExplorerWithCloudBar, AsksEveryHostWindowOnceAcrossProcessesAndPassesOverAHungOne) {
  // Class names are atoms that keep the letter case of their first registration: the lower-case
  // name comes first, so that the later windows of the host class read back in lower case too.
  StartHelper(L"pump", {kHostClassLower});
  StartHelper(L"pump", {kHostClass, kHostClass, kNeighbourClass});
  StartHelper(L"hang", {kHostClass});
  StartHelper(L"pump", {kHostClass});

  // Any thread, no COM.
  int result = -1;
  DWORD elapsed = 0;
  std::thread caller([&] {
    DWORD start = ::GetTickCount();
    result = dll_.closeExplorerWithCloudBar();
    elapsed = ::GetTickCount() - start;
  });
  caller.join();
  EXPECT_EQ(result, 0);
  EXPECT_GE(elapsed, 400u);   // waited for the hung window's answer...
  EXPECT_LT(elapsed, 2500u);  // ...but only about 500 ms

  std::vector<Received> received = Finish();
  ASSERT_EQ(received.size(), 4u);
  const std::string request = "wparam=0 code=33774 size=0 data=null";
  int asked = 0;
  for (size_t i : {0u, 1u, 3u}) {  // all but the hung one
    for (const auto& window : received[i].classOf) {
      const std::vector<std::string>& requests = received[i].requests[window.first];
      if (window.second == WideToUtf8(kNeighbourClass)) {
        EXPECT_TRUE(requests.empty()) << window.first;
        continue;
      }
      ASSERT_EQ(requests.size(), 1u) << window.second;
      EXPECT_EQ(requests[0], request);
      ++asked;
    }
  }
  EXPECT_EQ(asked, 4);
}

TEST_F(CloseExplorerWithCloudBar, WithoutHostWindowsReturnsAtOnce) {
  DWORD start = ::GetTickCount();
  EXPECT_EQ(dll_.closeExplorerWithCloudBar(), 0);
  EXPECT_LT(::GetTickCount() - start, 300u);
}

}  // namespace
}  // namespace quillan
