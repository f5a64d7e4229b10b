// Sending records to the desktop application's main window, and starting the application when a
// login is asked for while it does not run.
//
// Every send waits at most 500 ms, and not at all for a receiver the system counts as hung (a thread
// that has not taken a message for 5 s): Explorer's thread must never wait on an application that is
// known not to answer.
#pragma once

#include <windows.h>

#include <optional>
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

// What became of one send to the main window.
enum class SendOutcome {
  kDelivered,    // the receiver took the record
  kNoWindow,     // there is no main window (or no record): nothing was sent
  kRefusedHung,  // the receiver counts as hung: refused at once, without waiting
  kTimedOut,     // the receiver did not answer within the time-out (and the retry, where there is one)
  kFailed,       // any other failure of the send
};

// The main window, or null when the application does not run.
HWND FindMainWindow();

// True for the codes whose send is tried once more after kRetryDelayMs when the first times out.
bool RetriesOnTimeout(DWORD code) noexcept;

// True when window belongs to another thread that the system counts as hung (it has not taken a
// message for 5 s). A window of the calling thread never is: a send to it is a call.
bool CountsAsHung(HWND window);

// One WM_COPYDATA send of a record to any window (wParam 0). Returns the SendMessageTimeoutW result
// as true/false, with GetLastError() kept from it; answer receives the receiver's reply.
bool SendRecord(HWND target, const Record& record, UINT flags, DWORD timeoutMs, DWORD_PTR* answer = nullptr);

// Sends a record to the main window: SMTO_ABORTIFHUNG, 500 ms, and for the codes that retry one more
// attempt after 20 ms when the first timed out and the receiver is not counted as hung. GetLastError()
// holds the reason of a failure (ERROR_TIMEOUT for a time-out or a hung receiver). An empty record (one
// that could not be built) sends nothing.
SendOutcome SendToMain(const std::optional<Record>& record);
// The same to a main window already looked up.
SendOutcome SendToMain(HWND main, const std::optional<Record>& record);
// True when the record was delivered.
bool SendToMainWindow(const std::optional<Record>& record);

// What became of a bar record.
struct BarRecordResult {
  int result = 0;                               // SendBarRecord's answer
  SendOutcome outcome = SendOutcome::kNoWindow;  // kNoWindow when no main window was found
  bool launched = false;                        // the application was started for the login
};

// Tells the application that a bar exists for an account (code 33790 when loggedIn is nonzero, else
// 33777). Returns 1 when the main window exists. Without it, returns 0, unless the user asked to log in
// (launch nonzero) on a bar that is not logged in: then the application is started and the result is
// that of LaunchDesktopApp. modulePath, when given, is the module the application is found from.
int SendBarRecord(HWND hostWindow, HWND barWindow, const std::wstring& userId, const std::wstring& enterpriseId,
                  const std::wstring& userName, const std::wstring& enterpriseName, int loggedIn, int launch);
BarRecordResult SendBarRecordFor(HWND hostWindow, HWND barWindow, const std::wstring& userId,
                                 const std::wstring& enterpriseId, const std::wstring& userName,
                                 const std::wstring& enterpriseName, int loggedIn, int launch,
                                 const std::wstring* modulePath = nullptr);

// Starts "..\VelQuillanUI.exe" from the folder of this module with "/cloudbarlogin". 1 on success,
// 0 otherwise. The second form takes the module path the application is found from.
int LaunchDesktopApp();
int LaunchDesktopApp(const std::wstring& modulePath);

}  // namespace quillan
