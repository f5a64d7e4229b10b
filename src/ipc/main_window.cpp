#include "ipc/main_window.h"

#include <shlwapi.h>

#include "base/module.h"

namespace quillan {

HWND FindMainWindow() {
  HWND window = ::FindWindowW(kMainWindowClass, nullptr);
  return (window && ::IsWindow(window)) ? window : nullptr;
}

bool RetriesOnTimeout(DWORD code) noexcept {
  switch (code) {
    case to_main::kBarNotLoggedIn:
    case to_main::kSelectedFiles:
    case to_main::kShare:
    case to_main::kSelectionState:
    case to_main::kBarLoggedIn:
    case to_main::kSelectionFlag:
      return true;
    default:
      return false;
  }
}

bool SendRecord(HWND target, const Record& record, UINT flags, DWORD timeoutMs, DWORD_PTR* answer) {
  COPYDATASTRUCT data = {};
  data.dwData = record.code;
  data.cbData = static_cast<DWORD>(record.payload.size());
  data.lpData = record.payload.empty() ? nullptr : const_cast<uint8_t*>(record.payload.data());
  DWORD_PTR result = 0;
  const LRESULT sent = ::SendMessageTimeoutW(target, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), flags,
                                             timeoutMs, &result);
  if (answer) *answer = result;
  return sent != 0;
}

bool CountsAsHung(HWND window) {
  return ::GetWindowThreadProcessId(window, nullptr) != ::GetCurrentThreadId() && ::IsHungAppWindow(window);
}

namespace {

// A send refused because the receiver counts as hung comes back at once; one that waited took about
// its time-out.
constexpr DWORD kWaitedMs = kSendTimeoutMs / 2;

SendOutcome Attempt(HWND main, const Record& record) {
  const DWORD start = ::GetTickCount();
  if (SendRecord(main, record, SMTO_ABORTIFHUNG, kSendTimeoutMs)) return SendOutcome::kDelivered;
  const DWORD error = ::GetLastError();
  if (error != ERROR_TIMEOUT) return SendOutcome::kFailed;
  return ::GetTickCount() - start < kWaitedMs ? SendOutcome::kRefusedHung : SendOutcome::kTimedOut;
}

}  // namespace

SendOutcome SendToMain(HWND main, const std::optional<Record>& record) {
  if (!record || !main || !::IsWindow(main)) {
    ::SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return SendOutcome::kNoWindow;
  }
  // A receiver the system counts as hung refuses the send at once (SMTO_ABORTIFHUNG) and is not asked again.
  const SendOutcome first = Attempt(main, *record);
  if (first != SendOutcome::kTimedOut || !RetriesOnTimeout(record->code) || CountsAsHung(main)) {
    if (first == SendOutcome::kRefusedHung || first == SendOutcome::kTimedOut) ::SetLastError(ERROR_TIMEOUT);
    return first;
  }
  ::Sleep(kRetryDelayMs);
  const SendOutcome second = Attempt(main, *record);
  // Whatever the second attempt met, the receiver has been waited for.
  if (second == SendOutcome::kRefusedHung) return SendOutcome::kTimedOut;
  return second;
}

SendOutcome SendToMain(const std::optional<Record>& record) { return SendToMain(FindMainWindow(), record); }

bool SendToMainWindow(const std::optional<Record>& record) { return SendToMain(record) == SendOutcome::kDelivered; }

BarRecordResult SendBarRecordFor(HWND hostWindow, HWND barWindow, const std::wstring& userId,
                                 const std::wstring& enterpriseId, const std::wstring& userName,
                                 const std::wstring& enterpriseName, int loggedIn, int launch,
                                 const std::wstring* modulePath) {
  BarRecordResult result;
  // One look-up: the answer 1 says the record went to the window that was found.
  if (HWND main = FindMainWindow()) {
    result.result = 1;
    result.outcome = SendToMain(
        main, BuildBarRecord(hostWindow, barWindow, userId, enterpriseId, userName, enterpriseName, loggedIn, launch));
    return result;
  }
  if (launch == 0 || loggedIn != 0) return result;
  result.result = modulePath ? LaunchDesktopApp(*modulePath) : LaunchDesktopApp();
  result.launched = result.result != 0;
  return result;
}

int SendBarRecord(HWND hostWindow, HWND barWindow, const std::wstring& userId, const std::wstring& enterpriseId,
                  const std::wstring& userName, const std::wstring& enterpriseName, int loggedIn, int launch) {
  return SendBarRecordFor(hostWindow, barWindow, userId, enterpriseId, userName, enterpriseName, loggedIn, launch)
      .result;
}

int LaunchDesktopApp() {
  // A path cut to the buffer would give a wrong folder: none is taken then.
  const std::wstring path = ModuleFileName(ThisModule(), MAX_PATH);
  return path.empty() ? 0 : LaunchDesktopApp(path);
}

int LaunchDesktopApp(const std::wstring& modulePath) {
  if (modulePath.empty() || modulePath.size() >= MAX_PATH) return 0;
  wchar_t folder[MAX_PATH] = {};
  modulePath.copy(folder, modulePath.size());
  if (!::PathRemoveFileSpecW(folder)) return 0;
  // A root folder has no parent, and a bare file name has no folder: ".." would resolve to the root
  // itself or to the current directory, neither of which is where the application lives.
  if (folder[0] == L'\0' || ::PathIsRootW(folder)) return 0;

  wchar_t application[MAX_PATH] = {};
  if (!::PathCombineW(application, folder, kDesktopAppRelativePath)) return 0;
  if (!::PathFileExistsW(application) || ::PathIsDirectoryW(application)) return 0;

  wchar_t workingDirectory[MAX_PATH] = {};
  lstrcpynW(workingDirectory, application, MAX_PATH);
  if (!::PathRemoveFileSpecW(workingDirectory)) return 0;

  std::wstring commandLine = L"\"";
  commandLine += application;
  commandLine += L"\" ";
  commandLine += kCloudBarLoginArg;

  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!::CreateProcessW(application, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, workingDirectory, &startup,
                        &process)) {
    return 0;
  }
  // Both are best effort: the application runs whether or not it may take the foreground or goes
  // idle within the second.
  ::AllowSetForegroundWindow(process.dwProcessId);
  ::WaitForInputIdle(process.hProcess, 1000);
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return 1;
}

}  // namespace quillan
