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
#include "com_test_support.h"
#include "test_support.h"

namespace quillan {
namespace {

// A helper process with its windows; see host_window_helper.cpp.
struct Helper {
  test::ChildProcess process;
  std::wstring report;
};

// Starts a helper and waits until its windows exist.
std::unique_ptr<Helper> StartHelper(const test::TempDir& folder, const std::wstring& quitEvent, const std::wstring& mode,
                                    const std::wstring& classes) {
  static int started = 0;
  auto helper = std::make_unique<Helper>();
  std::wstring index = std::to_wstring(++started);
  helper->report = folder / (L"report" + index + L".txt");
  std::wstring readyEvent = quitEvent + L"-ready" + index;
  UniqueHandle ready(::CreateEventW(nullptr, TRUE, FALSE, readyEvent.c_str()));
  std::wstring exe = test::BinDir() + L"\\host_window_helper.exe";
  if (!helper->process.Start(exe, test::QuoteArg(exe) + L" " + test::QuoteArg(helper->report) + L" " + readyEvent +
                                      L" " + quitEvent + L" " + mode + L" " + classes) ||
      ::WaitForSingleObject(ready.get(), 20000) != WAIT_OBJECT_0) {
    return nullptr;
  }
  return helper;
}

// What each window of a helper received, by the class name it was made with.
std::multimap<std::string, std::vector<std::string>> Received(const Helper& helper) {
  std::string text;
  test::ReadBytes(helper.report, &text);
  std::map<std::string, std::string> classOf;
  std::map<std::string, std::vector<std::string>> requests;
  std::istringstream lines(text);
  std::string kind;
  std::string window;
  std::string rest;
  while (lines >> kind >> window && std::getline(lines, rest)) {
    if (kind == "window") classOf[window] = rest.substr(1);
    if (kind == "copydata") requests[window].push_back(rest.substr(1));
  }
  std::multimap<std::string, std::vector<std::string>> byClass;
  for (const auto& made : classOf) byClass.emplace(made.second, requests[made.first]);
  return byClass;
}

TEST(CloseExplorerWithCloudBar, AsksEveryHostWindowOnceAcrossProcessesAndPassesOverAHungOne) {
  test::ShellDll dll;
  ASSERT_TRUE(dll.loaded());
  test::TempDir folder;
  std::wstring quitEvent = L"quillan-close-quit-" + std::to_wstring(::GetCurrentProcessId());
  UniqueHandle quit(::CreateEventW(nullptr, TRUE, FALSE, quitEvent.c_str()));
  // Class names are atoms that keep the letter case of their first registration: the lower-case name
  // comes first, so that the later windows of the host class read back in lower case too.
  std::unique_ptr<Helper> helpers[] = {
      StartHelper(folder, quitEvent, L"pump", L"{de16d8fe-f468-49a7-85b4-414cf06c72e5}"),
      StartHelper(folder, quitEvent, L"pump",
                  L"{DE16D8FE-F468-49A7-85B4-414CF06C72E5} {DE16D8FE-F468-49A7-85B4-414CF06C72E5} "
                  L"{DE16D8FE-F468-49A7-85B4-414CF06C72E6}"),
      StartHelper(folder, quitEvent, L"pump", L"{DE16D8FE-F468-49A7-85B4-414CF06C72E5}"),
      StartHelper(folder, quitEvent, L"hang", L"{DE16D8FE-F468-49A7-85B4-414CF06C72E5}")};
  for (const auto& helper : helpers) ASSERT_TRUE(helper);

  // Any thread, no COM.
  int result = -1;
  DWORD elapsed = 0;
  std::thread([&] {
    DWORD start = ::GetTickCount();
    result = dll.closeExplorerWithCloudBar();
    elapsed = ::GetTickCount() - start;
  }).join();
  EXPECT_EQ(result, 0);
  EXPECT_GE(elapsed, 400u);   // waited for the hung window...
  EXPECT_LT(elapsed, 2500u);  // ...about 500 ms, no longer
  ::SetEvent(quit.get());

  int asked = 0;
  for (size_t i = 0; i < 3; ++i) {  // the hung helper's answer is not awaited
    ASSERT_TRUE(helpers[i]->process.Wait(20000));
    for (const auto& window : Received(*helpers[i])) {
      if (window.first == "{DE16D8FE-F468-49A7-85B4-414CF06C72E6}") {
        EXPECT_TRUE(window.second.empty());
        continue;
      }
      EXPECT_EQ(window.second, std::vector<std::string>{"wparam=0 code=33774 size=0 data=null"}) << window.first;
      ++asked;
    }
  }
  EXPECT_EQ(asked, 4);
}

}  // namespace
}  // namespace quillan
