// The WM_COPYDATA records exchanged with the desktop application: records to its main window and
// records from it to an Explorer window's host window. This file is the one place that knows their
// codes, sizes and byte offsets; every sender and receiver goes through the build and parse functions
// below. Payloads are little-endian and packed; text fields are zero-terminated UTF-16 inside a fixed
// field; window handles travel as the 32-bit handle sign-extended to a signed 64-bit value.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quillan {

// Class of the desktop application's main window (no title).
inline constexpr wchar_t kMainWindowClass[] = L"{465164DF-35A8-4AE3-BEE7-9626FCD521EC}";

// Codes of the records sent to the main window.
namespace to_main {
inline constexpr DWORD kBarSize = 33776;           // bar size record, from the bar
inline constexpr DWORD kBarNotLoggedIn = 33777;    // bar record, account not logged in
inline constexpr DWORD kWebVersion = 33779;        // no payload
inline constexpr DWORD kRecycleBin = 33780;        // no payload
inline constexpr DWORD kSyncTo = 33781;            // path-list record
inline constexpr DWORD kAccountAction = 33782;     // account-action record; action 2 from the band on quit
inline constexpr DWORD kSelectedFiles = 33784;     // selected-files reply to the host's request 33783
inline constexpr DWORD kUploadFirst = 33786;       // path-list record
inline constexpr DWORD kShare = 33787;             // path-list record with window
inline constexpr DWORD kSelectionState = 33788;    // selection-state record
inline constexpr DWORD kBarLoggedIn = 33790;       // bar record, account logged in
inline constexpr DWORD kHistory = 33791;           // single path
inline constexpr DWORD kSelectionFlag = 33792;     // flag byte
inline constexpr DWORD kBarClosing = 33808;        // bar closing record
inline constexpr DWORD kFirst = 33776;
inline constexpr DWORD kLast = 33808;
}  // namespace to_main

// Codes of the records the application sends to a host window.
namespace to_host {
inline constexpr DWORD kAdoptWindow = 33769;          // window record: the application's window inside the bar
inline constexpr DWORD kVisibility = 33771;           // visibility record
inline constexpr DWORD kVisibilityAlt = 33772;        // visibility record, same meaning
inline constexpr DWORD kCloseExplorer = 33774;        // no payload; any size
inline constexpr DWORD kAccountChanged = 33775;       // account-changed record
inline constexpr DWORD kAccountAction = 33782;        // account-action record, actions 1, 3, 4
inline constexpr DWORD kRequestSelectedFiles = 33783; // window record; answered with to_main::kSelectedFiles
inline constexpr DWORD kProbe = 33789;                // probe record
inline constexpr DWORD kRequestSelection = 33793;     // window record; answered with to_main::kShare
inline constexpr DWORD kFirst = 33769;
inline constexpr DWORD kLast = 33793;
}  // namespace to_host

// Actions of the account-action record.
inline constexpr uint32_t kActionMaximize = 1;
inline constexpr uint32_t kActionQuit = 2;
inline constexpr uint32_t kActionRefreshView = 3;
inline constexpr uint32_t kActionSetBarHeight = 4;

// Field widths in UTF-16 code units; a field of N code units holds at most N - 1 characters.
inline constexpr size_t kUserIdChars = 32;
inline constexpr size_t kEnterpriseIdChars = 100;
inline constexpr size_t kNameChars = 1024;

// The account key that opens most records.
namespace account_key {
inline constexpr size_t kUserId = 0;
inline constexpr size_t kEnterpriseId = 64;
inline constexpr size_t kSize = 264;
}  // namespace account_key

namespace bar_record {
inline constexpr size_t kHostWindow = 0;
inline constexpr size_t kUserId = 8;
inline constexpr size_t kEnterpriseId = 72;
inline constexpr size_t kUserName = 272;
inline constexpr size_t kEnterpriseName = 2320;
inline constexpr size_t kAlwaysOne = 4368;
inline constexpr size_t kLaunch = 4372;
inline constexpr size_t kBarWindow = 4376;
inline constexpr size_t kReserved = 4384;
inline constexpr size_t kSize = 4388;
}  // namespace bar_record

namespace account_action_record {
inline constexpr size_t kAction = 264;
inline constexpr size_t kArgument = 268;  // 2048-byte area; action 4 puts a 32-bit height at its start
inline constexpr size_t kArgumentBytes = 2048;
inline constexpr size_t kSize = 2316;
}  // namespace account_action_record

namespace window_record {
inline constexpr size_t kWindow = 264;
inline constexpr size_t kSize = 272;
}  // namespace window_record

namespace visibility_record {
inline constexpr size_t kShow = 264;
inline constexpr size_t kSize = 268;
}  // namespace visibility_record

namespace account_changed_record {
inline constexpr size_t kSize = 264;
}  // namespace account_changed_record

namespace selection_state_record {
inline constexpr size_t kFrameWindow = 264;
inline constexpr size_t kCount = 272;
inline constexpr size_t kSize = 276;
}  // namespace selection_state_record

namespace selected_files_reply {
inline constexpr size_t kWindow = 264;      // low word of the request's window field
inline constexpr size_t kWindowHigh = 268;  // high word of the request's window field
inline constexpr size_t kListBytes = 272;
inline constexpr size_t kList = 280;
inline constexpr size_t kFixedBytes = 281;  // everything but the list: size = 281 + L
}  // namespace selected_files_reply

namespace path_list_window_record {
inline constexpr size_t kWindow = 0;
inline constexpr size_t kListBytes = 8;
inline constexpr size_t kList = 16;
inline constexpr size_t kFixedBytes = 17;  // size = 17 + L
}  // namespace path_list_window_record

namespace path_list_record {
inline constexpr size_t kListBytes = 0;
inline constexpr size_t kList = 8;
inline constexpr size_t kFixedBytes = 9;  // size = 9 + L
}  // namespace path_list_record

namespace bar_size_record {
inline constexpr size_t kExternalWindow = 264;
inline constexpr size_t kLeft = 272;
inline constexpr size_t kTop = 276;
inline constexpr size_t kRight = 280;
inline constexpr size_t kBottom = 284;
inline constexpr size_t kSize = 288;
}  // namespace bar_size_record

namespace bar_closing_record {
inline constexpr size_t kHostWindow = 0;
inline constexpr size_t kBarWindow = 8;
inline constexpr size_t kEmbeddedWindow = 16;
inline constexpr size_t kSize = 24;
}  // namespace bar_closing_record

namespace flag_record {
inline constexpr size_t kFlag = 0;
inline constexpr size_t kSize = 1;
}  // namespace flag_record

namespace probe_record {
inline constexpr size_t kFirst = 0;
inline constexpr size_t kSecond = 4;
inline constexpr size_t kThird = 8;
inline constexpr size_t kSize = 12;
}  // namespace probe_record

// One record: its code and payload. An empty payload goes out as cbData 0 and lpData null.
struct Record {
  DWORD code = 0;
  std::vector<uint8_t> payload;
};

// Window handles on the wire: the 32-bit handle sign-extended; receivers use the low 32 bits.
int64_t WindowToWire(HWND window) noexcept;
HWND WindowFromWire(int64_t value) noexcept;

// Byte length L of a path list (each path with its zero, then one more zero; an empty list is two zero
// code units, L = 4). Empty when L could not be represented in a WM_COPYDATA payload (cbData is 32 bits).
std::optional<uint64_t> PathListBytes(const std::vector<std::wstring>& paths) noexcept;
// The same from the paths' lengths in characters.
std::optional<uint64_t> PathListBytesOfLengths(const std::vector<size_t>& lengths) noexcept;

// ---- Building. Texts longer than their field are cut to fit; the rest of every field is zero. A record
// that cannot be built (no memory, or a path list too long for one record) comes back empty, and the
// senders then send nothing.

// Code 33790 when loggedIn is nonzero, else 33777.
std::optional<Record> BuildBarRecord(HWND hostWindow, HWND barWindow, const std::wstring& userId,
                                     const std::wstring& enterpriseId, const std::wstring& userName,
                                     const std::wstring& enterpriseName, int loggedIn, int launch) noexcept;
// Code 33782; argument is the 32-bit value at the start of the argument area (the height of action 4).
std::optional<Record> BuildAccountActionRecord(const std::wstring& userId, const std::wstring& enterpriseId,
                                               uint32_t action, uint32_t argument = 0) noexcept;

// Code 33788.
std::optional<Record> BuildSelectionStateRecord(const std::wstring& userId, const std::wstring& enterpriseId,
                                                HWND frameWindow, uint32_t count) noexcept;
// Code 33784: requestWindow is the 64-bit window field of the request 33783, copied as it came.
std::optional<Record> BuildSelectedFilesReply(const std::wstring& userId, const std::wstring& enterpriseId,
                                              int64_t requestWindow, const std::vector<std::wstring>& paths) noexcept;
// Code 33787.
std::optional<Record> BuildShareRecord(HWND window, const std::vector<std::wstring>& paths) noexcept;
// Codes 33781, 33786.
std::optional<Record> BuildPathListRecord(DWORD code, const std::vector<std::wstring>& paths) noexcept;
// Code 33791.
std::optional<Record> BuildHistoryRecord(const std::wstring& path) noexcept;
// Code 33776: the rectangle 0, 0, width, height.
std::optional<Record> BuildBarSizeRecord(const std::wstring& userId, const std::wstring& enterpriseId,
                                         HWND externalWindow, int32_t width, int32_t height) noexcept;
// Code 33808.
std::optional<Record> BuildBarClosingRecord(HWND hostWindow, HWND barWindow, HWND embeddedWindow) noexcept;
// Code 33792.
std::optional<Record> BuildSelectionFlagRecord(bool on) noexcept;

// Codes without payload: 33779, 33780, 33774. They need no memory and are always built.
Record BuildEmptyRecord(DWORD code) noexcept;

// ---- Parsing. Each function takes a payload and its exact size and fails on any other size or a
// malformed path list. Texts are read only inside their field, whether or not the field holds a zero.

struct AccountKey {
  std::wstring userId;
  std::wstring enterpriseId;
  // Exact, case-sensitive comparison with the account a receiver holds.
  bool Matches(const std::wstring& otherUserId, const std::wstring& otherEnterpriseId) const {
    return userId == otherUserId && enterpriseId == otherEnterpriseId;
  }
};

struct AccountActionRecord {
  AccountKey key;
  uint32_t action = 0;
  uint32_t argument = 0;  // first 32 bits of the argument area
};

struct WindowRecord {
  AccountKey key;
  int64_t window = 0;
};

struct VisibilityRecord {
  AccountKey key;
  uint32_t show = 0;
};

struct ProbeRecord {
  uint32_t first = 0;
  uint32_t second = 0;
  uint32_t third = 0;
};

bool ParseAccountActionRecord(const void* data, size_t size, AccountActionRecord* out);
bool ParseWindowRecord(const void* data, size_t size, WindowRecord* out);
bool ParseVisibilityRecord(const void* data, size_t size, VisibilityRecord* out);
bool ParseAccountChangedRecord(const void* data, size_t size, AccountKey* out);

bool ParseProbeRecord(const void* data, size_t size, ProbeRecord* out);

// ---- The host window's table of accepted codes.

inline constexpr DWORD kAnySize = 0xFFFFFFFF;

struct HostRecordRule {
  DWORD code;
  DWORD size;  // the exact cbData, or kAnySize
};

inline constexpr HostRecordRule kHostRecordRules[] = {
    {to_host::kAdoptWindow, window_record::kSize},
    {to_host::kVisibility, visibility_record::kSize},
    {to_host::kVisibilityAlt, visibility_record::kSize},
    {to_host::kCloseExplorer, kAnySize},
    {to_host::kAccountChanged, account_changed_record::kSize},
    {to_host::kAccountAction, account_action_record::kSize},
    {to_host::kRequestSelectedFiles, window_record::kSize},
    {to_host::kProbe, probe_record::kSize},
    {to_host::kRequestSelection, window_record::kSize},
};

// True when a host window acts on this record: its code is in the table and its cbData is exactly the
// listed size with a payload present (the close request needs neither). Anything else is answered 0.
bool IsAcceptedByHost(const COPYDATASTRUCT& record) noexcept;

}  // namespace quillan
