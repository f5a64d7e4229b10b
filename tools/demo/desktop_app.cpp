#include "desktop_app.h"

#include <utility>

#include "ipc/records.h"
#include "harness.h"

namespace quillan::demo {

namespace {

// Waits without a message loop: the demo owns no window that anyone sends to.
template <typename Predicate>
bool PollUntil(Predicate predicate, DWORD timeoutMs) {
  const DWORD start = ::GetTickCount();
  for (;;) {
    if (predicate()) return true;
    if (::GetTickCount() - start >= timeoutMs) return false;
    ::Sleep(20);
  }
}

}  // namespace

DesktopApp::DesktopApp(std::wstring exe) : exe_(std::move(exe)) {
  const size_t dot = exe_.find_last_of(L'.');
  log_ = exe_.substr(0, dot) + L".log";
}

DesktopApp::~DesktopApp() { QuitAll(); }

bool DesktopApp::Take(HWND window) {
  DWORD pid = 0;
  ::GetWindowThreadProcessId(window, &pid);
  UniqueHandle process(::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  if (!process) return false;
  process_ = std::move(process);
  pid_ = pid;
  window_ = window;
  return true;
}

bool DesktopApp::Start() {
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  std::wstring commandLine = harness::QuoteArg(exe_);
  const std::wstring folder = exe_.substr(0, exe_.find_last_of(L'\\'));
  if (!::CreateProcessW(exe_.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                        &info)) {
    return false;
  }
  ::CloseHandle(info.hThread);
  process_.reset(info.hProcess);
  pid_ = info.dwProcessId;
  window_ = nullptr;
  const bool found = PollUntil(
      [&] {
        window_ = harness::FindStandinMainWindow(pid_);
        return window_ || ::WaitForSingleObject(process_.get(), 0) == WAIT_OBJECT_0;  // ended: stop waiting
      },
      10000);
  // The answer to a ping comes after the scenario has run (its pipes are up).
  return found && window_ && Control(L"ping") == 1;
}

bool DesktopApp::Find(DWORD timeoutMs) {
  HWND window = nullptr;
  if (!PollUntil([&] { return (window = ::FindWindowW(kMainWindowClass, nullptr)) != nullptr; }, timeoutMs)) return false;
  return Take(window) && PollUntil([&] { return Control(L"ping") == 1; }, timeoutMs);
}

bool DesktopApp::Running() const {
  return process_ && ::WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT && ::IsWindow(window_);
}

void DesktopApp::Quit() {
  if (!process_) return;
  if (::IsWindow(window_)) Control(L"quit");
  if (::WaitForSingleObject(process_.get(), 5000) != WAIT_OBJECT_0) {
    ::TerminateProcess(process_.get(), 1);  // a stand-in that does not quit is of no further use
    ::WaitForSingleObject(process_.get(), 5000);
  }
  process_.reset();
  pid_ = 0;
  window_ = nullptr;
}

void DesktopApp::QuitAll() {
  Quit();
  // An instance the demo did not see start (the Explorer component started it, say).
  for (int i = 0; i < 5; ++i) {
    HWND window = ::FindWindowW(kMainWindowClass, nullptr);
    if (!window || !Take(window)) break;
    Quit();
  }
}

LRESULT DesktopApp::Control(const std::wstring& command) const {
  return harness::SendStandinControl(window_, command, 10000);
}

std::vector<std::string> DesktopApp::Lines() const { return harness::ReadStandinLog(log_); }

std::vector<harness::DesktopAppRecord> DesktopApp::RecordsSince(size_t mark, DWORD code) const {
  std::vector<harness::DesktopAppRecord> records;
  const std::vector<std::string> lines = Lines();
  for (size_t i = mark; i < lines.size(); ++i) {
    harness::DesktopAppRecord record;
    if (harness::ParseStandinRecord(lines[i], &record) && (code == 0 || record.code == code)) records.push_back(std::move(record));
  }
  return records;
}

bool DesktopApp::WaitForRecord(size_t mark, DWORD code,
                               const std::function<bool(const harness::DesktopAppRecord&)>& accept, DWORD timeoutMs,
                               harness::DesktopAppRecord* found) const {
  return PollUntil(
      [&] {
        for (const harness::DesktopAppRecord& record : RecordsSince(mark, code)) {
          if (!accept || accept(record)) {
            if (found) *found = record;
            return true;
          }
        }
        return false;
      },
      timeoutMs);
}

bool DesktopApp::WaitForLine(size_t mark, const std::string& event, const std::function<bool(const std::string&)>& accept,
                             DWORD timeoutMs, std::string* found) const {
  return PollUntil(
      [&] {
        const std::vector<std::string> lines = Lines();
        for (size_t i = mark; i < lines.size(); ++i) {
          if (harness::JsonEvent(lines[i]) == event && (!accept || accept(lines[i]))) {
            if (found) *found = lines[i];
            return true;
          }
        }
        return false;
      },
      timeoutMs);
}

}  // namespace quillan::demo
