#include "ipc/records.h"

#include <limits>

#include "ipc/record_bytes.h"

namespace quillan {

using namespace record_bytes;

int64_t WindowToWire(HWND window) noexcept {
  // Window handles are 32-bit values on every width; the cast through int32_t is the sign extension.
  return static_cast<int64_t>(static_cast<int32_t>(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(window))));
}

HWND WindowFromWire(int64_t value) noexcept {
  const int32_t low = static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(value)));
  return reinterpret_cast<HWND>(static_cast<intptr_t>(low));
}

namespace {

template <typename Lengths, typename LengthOf>
std::optional<uint64_t> SumListBytes(const Lengths& items, LengthOf lengthOf) noexcept {
  // Anything above what cbData can carry is refused; staying below it keeps every sum exact.
  constexpr uint64_t kLimit = std::numeric_limits<DWORD>::max();
  uint64_t total = sizeof(wchar_t);
  for (const auto& item : items) {
    const size_t length = lengthOf(item);
    if (length >= kLimit / sizeof(wchar_t)) return std::nullopt;
    const uint64_t chars = length;
    const uint64_t bytes = (chars + 1) * sizeof(wchar_t);
    if (bytes > kLimit - total) return std::nullopt;
    total += bytes;
  }
  // An empty list still carries two zero code units, so that a reader looking for the double zero
  // finds it inside the list.
  if (items.empty()) total += sizeof(wchar_t);
  return total;
}

}  // namespace

std::optional<uint64_t> PathListBytes(const std::vector<std::wstring>& paths) noexcept {
  return SumListBytes(paths, [](const std::wstring& path) { return path.size(); });
}

std::optional<uint64_t> PathListBytesOfLengths(const std::vector<size_t>& lengths) noexcept {
  return SumListBytes(lengths, [](size_t length) { return length; });
}

std::optional<Record> BuildBarRecord(HWND hostWindow, HWND barWindow, const std::wstring& userId,
                                     const std::wstring& enterpriseId, const std::wstring& userName,
                                     const std::wstring& enterpriseName, int loggedIn, int launch) noexcept {
  std::optional<Record> record =
      MakeRecord(loggedIn != 0 ? to_main::kBarLoggedIn : to_main::kBarNotLoggedIn, bar_record::kSize);
  if (!record) return record;
  Writer w(&record->payload);
  w.Window(bar_record::kHostWindow, hostWindow);
  w.Text(bar_record::kUserId, kUserIdChars, userId);
  w.Text(bar_record::kEnterpriseId, kEnterpriseIdChars, enterpriseId);
  w.Text(bar_record::kUserName, kNameChars, userName);
  w.Text(bar_record::kEnterpriseName, kNameChars, enterpriseName);
  w.U32(bar_record::kAlwaysOne, 1);
  w.U32(bar_record::kLaunch, static_cast<uint32_t>(launch));
  w.Window(bar_record::kBarWindow, barWindow);
  return record;
}

std::optional<Record> BuildAccountActionRecord(const std::wstring& userId, const std::wstring& enterpriseId,
                                               uint32_t action, uint32_t argument) noexcept {
  std::optional<Record> record = MakeRecord(to_main::kAccountAction, account_action_record::kSize);
  if (!record) return record;
  Writer w(&record->payload);
  w.Key(0, userId, enterpriseId);
  w.U32(account_action_record::kAction, action);
  w.U32(account_action_record::kArgument, argument);
  return record;
}

std::optional<Record> BuildSelectionStateRecord(const std::wstring& userId, const std::wstring& enterpriseId,
                                                HWND frameWindow, uint32_t count) noexcept {
  std::optional<Record> record = MakeRecord(to_main::kSelectionState, selection_state_record::kSize);
  if (!record) return record;
  Writer w(&record->payload);
  w.Key(0, userId, enterpriseId);
  w.Window(selection_state_record::kFrameWindow, frameWindow);
  w.U32(selection_state_record::kCount, count);
  return record;
}

std::optional<Record> BuildSelectedFilesReply(const std::wstring& userId, const std::wstring& enterpriseId,
                                              int64_t requestWindow, const std::vector<std::wstring>& paths) noexcept {
  const std::optional<uint64_t> listBytes = PathListBytes(paths);
  if (!listBytes) return std::nullopt;
  std::optional<Record> record = MakeListRecord(to_main::kSelectedFiles, selected_files_reply::kFixedBytes, *listBytes);
  if (!record) return std::nullopt;
  Writer w(&record->payload);
  w.Key(0, userId, enterpriseId);
  // Copying the 64-bit field copies both 32-bit words of the request unchanged.
  w.I64(selected_files_reply::kWindow, requestWindow);
  w.U64(selected_files_reply::kListBytes, *listBytes);
  w.PathList(selected_files_reply::kList, paths);
  return record;
}

std::optional<Record> BuildShareRecord(HWND window, const std::vector<std::wstring>& paths) noexcept {
  const std::optional<uint64_t> listBytes = PathListBytes(paths);
  if (!listBytes) return std::nullopt;
  std::optional<Record> record = MakeListRecord(to_main::kShare, path_list_window_record::kFixedBytes, *listBytes);
  if (!record) return std::nullopt;
  Writer w(&record->payload);
  w.Window(path_list_window_record::kWindow, window);
  w.U64(path_list_window_record::kListBytes, *listBytes);
  w.PathList(path_list_window_record::kList, paths);
  return record;
}

std::optional<Record> BuildPathListRecord(DWORD code, const std::vector<std::wstring>& paths) noexcept {
  const std::optional<uint64_t> listBytes = PathListBytes(paths);
  if (!listBytes) return std::nullopt;
  std::optional<Record> record = MakeListRecord(code, path_list_record::kFixedBytes, *listBytes);
  if (!record) return std::nullopt;
  Writer w(&record->payload);
  w.U64(path_list_record::kListBytes, *listBytes);
  w.PathList(path_list_record::kList, paths);
  return record;
}

std::optional<Record> BuildHistoryRecord(const std::wstring& path) noexcept {
  // The path alone, with its zero.
  if (path.size() >= std::numeric_limits<DWORD>::max() / sizeof(wchar_t)) return std::nullopt;
  std::optional<Record> record = MakeListRecord(to_main::kHistory, 0, (path.size() + 1) * sizeof(wchar_t));
  if (!record) return std::nullopt;
  if (!path.empty()) std::memcpy(record->payload.data(), path.data(), path.size() * sizeof(wchar_t));
  return record;
}

std::optional<Record> BuildBarSizeRecord(const std::wstring& userId, const std::wstring& enterpriseId,
                                         HWND externalWindow, int32_t width, int32_t height) noexcept {
  std::optional<Record> record = MakeRecord(to_main::kBarSize, bar_size_record::kSize);
  if (!record) return record;
  Writer w(&record->payload);
  w.Key(0, userId, enterpriseId);
  w.Window(bar_size_record::kExternalWindow, externalWindow);
  w.I32(bar_size_record::kLeft, 0);
  w.I32(bar_size_record::kTop, 0);
  w.I32(bar_size_record::kRight, width);
  w.I32(bar_size_record::kBottom, height);
  return record;
}

std::optional<Record> BuildBarClosingRecord(HWND hostWindow, HWND barWindow, HWND embeddedWindow) noexcept {
  std::optional<Record> record = MakeRecord(to_main::kBarClosing, bar_closing_record::kSize);
  if (!record) return record;
  Writer w(&record->payload);
  w.Window(bar_closing_record::kHostWindow, hostWindow);
  w.Window(bar_closing_record::kBarWindow, barWindow);
  w.Window(bar_closing_record::kEmbeddedWindow, embeddedWindow);
  return record;
}

std::optional<Record> BuildSelectionFlagRecord(bool on) noexcept {
  std::optional<Record> record = MakeRecord(to_main::kSelectionFlag, flag_record::kSize);
  if (!record) return record;
  record->payload[flag_record::kFlag] = on ? 1 : 0;
  return record;
}

Record BuildEmptyRecord(DWORD code) noexcept {
  Record record;  // an empty vector allocates nothing
  record.code = code;
  return record;
}

bool ParseAccountActionRecord(const void* data, size_t size, AccountActionRecord* out) {
  if (!out || !SizeIs(data, size, account_action_record::kSize)) return false;
  Reader r(data);
  out->key = r.Key(0);
  out->action = r.U32(account_action_record::kAction);
  out->argument = r.U32(account_action_record::kArgument);
  return true;
}

bool ParseWindowRecord(const void* data, size_t size, WindowRecord* out) {
  if (!out || !SizeIs(data, size, window_record::kSize)) return false;
  Reader r(data);
  out->key = r.Key(0);
  out->window = r.I64(window_record::kWindow);
  return true;
}

bool ParseVisibilityRecord(const void* data, size_t size, VisibilityRecord* out) {
  if (!out || !SizeIs(data, size, visibility_record::kSize)) return false;
  Reader r(data);
  out->key = r.Key(0);
  out->show = r.U32(visibility_record::kShow);
  return true;
}

bool ParseAccountChangedRecord(const void* data, size_t size, AccountKey* out) {
  if (!out || !SizeIs(data, size, account_changed_record::kSize)) return false;
  *out = Reader(data).Key(0);
  return true;
}

bool ParseProbeRecord(const void* data, size_t size, ProbeRecord* out) {
  if (!out || !SizeIs(data, size, probe_record::kSize)) return false;
  Reader r(data);
  out->first = r.U32(probe_record::kFirst);
  out->second = r.U32(probe_record::kSecond);
  out->third = r.U32(probe_record::kThird);
  return true;
}

bool IsAcceptedByHost(const COPYDATASTRUCT& record) noexcept {
  for (const HostRecordRule& rule : kHostRecordRules) {
    if (record.dwData != rule.code) continue;
    if (rule.size == kAnySize) return true;
    return record.lpData != nullptr && record.cbData == rule.size;
  }
  return false;
}

}  // namespace quillan
