// Sending records to the desktop application's main window, and starting the application when a
// login is asked for while it does not run.
#pragma once

#include <windows.h>

#include <string>

#include "ipc/records.h"

namespace quillan {

// Every cross-process send waits at most this long per attempt.
inline constexpr DWORD kSendTimeoutMs = 500;
// Pause before the one extra attempt of the codes that retry.
inline constexpr DWORD kRetryDelayMs = 20;

// The application's executable, relative to the folder of this module, and its login argument.
inline constexpr wchar_t kDesktopAppRelativePath[] = L"..\\VelQuillanUI.exe";
inline constexpr wchar_t kCloudBarLoginArg[] = L"/cloudbarlogin";

// The main window, or null when the application does not run.
HWND FindMainWindow();

// True for the codes whose send is tried once more after kRetryDelayMs when the first times out.
bool RetriesOnTimeout(DWORD code) noexcept;
// SMTO_ABORTIFHUNG for the bar closing record, SMTO_NORMAL for every other code.
UINT SendFlagsFor(DWORD code) noexcept;

// One WM_COPYDATA send of a record to any window (wParam 0). Returns the SendMessageTimeoutW result
// as true/false, with GetLastError() kept from it; answer receives the receiver's reply.
bool SendRecord(HWND target, const Record& record, UINT flags, DWORD timeoutMs, DWORD_PTR* answer = nullptr);

// Sends a record to the main window with the flags, time-out and retry rule of its code. False when
// there is no main window (nothing is sent) or when the last attempt failed; GetLastError() then holds
// the reason (ERROR_TIMEOUT for a time-out).
bool SendToMainWindow(const Record& record);
bool SendToMainWindow(DWORD code, const void* payload, DWORD size);

// Tells the application that a bar exists for an account (code 33790 when loggedIn is nonzero, else
// 33777). Returns 1 when the main window exists. Without it, returns 0, unless the user asked to log in
// (launch nonzero) on a bar that is not logged in: then the application is started and the result is
// that of LaunchDesktopApp. The second form starts the application relative to modulePath instead of
// this module's own path.
int SendBarRecord(HWND hostWindow, HWND barWindow, const std::wstring& userId, const std::wstring& enterpriseId,
                  const std::wstring& userName, const std::wstring& enterpriseName, int loggedIn, int launch);
int SendBarRecord(HWND hostWindow, HWND barWindow, const std::wstring& userId, const std::wstring& enterpriseId,
                  const std::wstring& userName, const std::wstring& enterpriseName, int loggedIn, int launch,
                  const std::wstring& modulePath);

// Starts "..\VelQuillanUI.exe" from the folder of this module with "/cloudbarlogin". 1 on success,
// 0 otherwise. The second form takes the module path the application is found from.
int LaunchDesktopApp();
int LaunchDesktopApp(const std::wstring& modulePath);

}  // namespace quillan
