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

UINT SendFlagsFor(DWORD code) noexcept {
  // The bar goes away while the application may be stuck; a hung receiver must not delay that.
  return code == to_main::kBarClosing ? SMTO_ABORTIFHUNG : SMTO_NORMAL;
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

namespace {

// The send step of the main-window records, to a main window already looked up.
bool SendToFoundMainWindow(HWND main, const Record& record) {
  const UINT flags = SendFlagsFor(record.code);
  if (SendRecord(main, record, flags, kSendTimeoutMs)) return true;
  if (!RetriesOnTimeout(record.code) || ::GetLastError() != ERROR_TIMEOUT) return false;
  ::Sleep(kRetryDelayMs);
  return SendRecord(main, record, flags, kSendTimeoutMs);
}

}  // namespace

bool SendToMainWindow(const Record& record) {
  HWND main = FindMainWindow();
  if (!main) {
    ::SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return false;
  }
  return SendToFoundMainWindow(main, record);
}

bool SendToMainWindow(DWORD code, const void* payload, DWORD size) {
  Record record;
  record.code = code;
  if (payload && size > 0) {
    const uint8_t* bytes = static_cast<const uint8_t*>(payload);
    record.payload.assign(bytes, bytes + size);
  }
  return SendToMainWindow(record);
}

namespace {

int SendBarRecordOr(HWND hostWindow, HWND barWindow, const std::wstring& userId, const std::wstring& enterpriseId,
                    const std::wstring& userName, const std::wstring& enterpriseName, int loggedIn, int launch,
                    const std::wstring* modulePath) {
  // One look-up: the answer 1 says the record went to the window that was found.
  if (HWND main = FindMainWindow()) {
    // The outcome is not reported: the host resends the record on its own schedule.
    SendToFoundMainWindow(
        main, BuildBarRecord(hostWindow, barWindow, userId, enterpriseId, userName, enterpriseName, loggedIn, launch));
    return 1;
  }
  if (launch == 0 || loggedIn != 0) return 0;
  return modulePath ? LaunchDesktopApp(*modulePath) : LaunchDesktopApp();
}

}  // namespace

int SendBarRecord(HWND hostWindow, HWND barWindow, const std::wstring& userId, const std::wstring& enterpriseId,
                  const std::wstring& userName, const std::wstring& enterpriseName, int loggedIn, int launch) {
  return SendBarRecordOr(hostWindow, barWindow, userId, enterpriseId, userName, enterpriseName, loggedIn, launch,
                         nullptr);
}

int SendBarRecord(HWND hostWindow, HWND barWindow, const std::wstring& userId, const std::wstring& enterpriseId,
                  const std::wstring& userName, const std::wstring& enterpriseName, int loggedIn, int launch,
                  const std::wstring& modulePath) {
  return SendBarRecordOr(hostWindow, barWindow, userId, enterpriseId, userName, enterpriseName, loggedIn, launch,
                         &modulePath);
}

int LaunchDesktopApp() {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = ::GetModuleFileNameW(ThisModule(), path, MAX_PATH);
  // A length of MAX_PATH means the path was cut: the folder derived from it would be wrong.
  if (length == 0 || length >= MAX_PATH) return 0;
  return LaunchDesktopApp(std::wstring(path, length));
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
