#include "ipc/records.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

#include "base/text.h"

namespace quillan {

namespace {

// Writes little-endian values and fixed text fields into a zeroed payload. Payloads are byte arrays
// with no alignment, so every access goes through memcpy.
class Writer {
 public:
  explicit Writer(std::vector<uint8_t>* bytes) : bytes_(*bytes) {}

  void U32(size_t offset, uint32_t value) { std::memcpy(&bytes_[offset], &value, sizeof value); }
  void I32(size_t offset, int32_t value) { std::memcpy(&bytes_[offset], &value, sizeof value); }
  void U64(size_t offset, uint64_t value) { std::memcpy(&bytes_[offset], &value, sizeof value); }
  void I64(size_t offset, int64_t value) { std::memcpy(&bytes_[offset], &value, sizeof value); }
  void Window(size_t offset, HWND window) { I64(offset, WindowToWire(window)); }

  // The payload is zeroed: the rest of the field, the zero that ends the text included, is there.
  void Text(size_t offset, size_t fieldChars, const std::wstring& text) {
    const size_t chars = std::min(text.size(), fieldChars - 1);
    if (chars > 0) std::memcpy(&bytes_[offset], text.data(), chars * sizeof(wchar_t));
  }

  void Key(size_t offset, const std::wstring& userId, const std::wstring& enterpriseId) {
    Text(offset + account_key::kUserId, kUserIdChars, userId);
    Text(offset + account_key::kEnterpriseId, kEnterpriseIdChars, enterpriseId);
  }

  // The list's terminating zeros are already there: the payload was zeroed.
  void PathList(size_t offset, const std::vector<std::wstring>& paths) {
    for (const std::wstring& path : paths) {
      if (!path.empty()) std::memcpy(&bytes_[offset], path.data(), path.size() * sizeof(wchar_t));
      offset += (path.size() + 1) * sizeof(wchar_t);
    }
  }

 private:
  std::vector<uint8_t>& bytes_;
};

class Reader {
 public:
  explicit Reader(const void* data) : data_(static_cast<const uint8_t*>(data)) {}

  uint32_t U32(size_t offset) const { return Get<uint32_t>(offset); }
  int32_t I32(size_t offset) const { return Get<int32_t>(offset); }
  uint64_t U64(size_t offset) const { return Get<uint64_t>(offset); }
  int64_t I64(size_t offset) const { return Get<int64_t>(offset); }
  uint8_t U8(size_t offset) const { return data_[offset]; }

  // Never reads past the field, so a sender that leaves out the zero cannot make us overrun it.
  std::wstring Text(size_t offset, size_t fieldChars) const {
    std::vector<wchar_t> field(fieldChars);
    std::memcpy(field.data(), data_ + offset, fieldChars * sizeof(wchar_t));
    return ReadField(field.data(), fieldChars);
  }

  AccountKey Key(size_t offset) const {
    return AccountKey{Text(offset + account_key::kUserId, kUserIdChars),
                      Text(offset + account_key::kEnterpriseId, kEnterpriseIdChars)};
  }

  // Splits a path list of listBytes bytes at offset. The list must end with its empty entry inside
  // those bytes; code units after it are ignored.
  bool PathList(size_t offset, uint64_t listBytes, std::vector<std::wstring>* paths) const {
    paths->clear();
    if (listBytes % sizeof(wchar_t) != 0) return false;
    const size_t units = static_cast<size_t>(listBytes / sizeof(wchar_t));
    std::wstring current;
    for (size_t i = 0; i < units; ++i) {
      wchar_t c;
      std::memcpy(&c, data_ + offset + i * sizeof(wchar_t), sizeof c);
      if (c != L'\0') {
        current.push_back(c);
        continue;
      }
      if (current.empty()) return true;
      paths->push_back(current);
      current.clear();
    }
    return false;
  }

 private:
  template <typename T>
  T Get(size_t offset) const {
    T value;
    std::memcpy(&value, data_ + offset, sizeof value);
    return value;
  }

  const uint8_t* data_;
};

// A zeroed record of size bytes; empty when there is no memory for it.
std::optional<Record> MakeRecord(DWORD code, size_t size) noexcept {
  try {
    Record record;
    record.code = code;
    record.payload.assign(size, 0);
    return record;
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

// A record of fixedBytes plus a path list of listBytes, or nothing when it cannot be represented or
// allocated: the caller then sends nothing.
std::optional<Record> MakeListRecord(DWORD code, size_t fixedBytes, uint64_t listBytes) noexcept {
  // cbData is 32 bits; below that limit the total also fits size_t on both widths.
  if (listBytes > std::numeric_limits<DWORD>::max() - fixedBytes) return std::nullopt;
  return MakeRecord(code, static_cast<size_t>(fixedBytes + listBytes));
}

// Fixed-size records are checked before any byte is read.
bool SizeIs(const void* data, size_t size, size_t expected) { return data != nullptr && size == expected; }

// A list record is fixedBytes plus the L it declares; any other total is malformed.
bool ListSizeFits(const void* data, size_t size, size_t fixedBytes, uint64_t listBytes) {
  return data != nullptr && size >= fixedBytes && listBytes == static_cast<uint64_t>(size - fixedBytes);
}

}  // namespace

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

std::optional<Record> BuildWindowRecord(DWORD code, const std::wstring& userId, const std::wstring& enterpriseId,
                                        HWND window) noexcept {
  std::optional<Record> record = MakeRecord(code, window_record::kSize);
  if (!record) return record;
  Writer w(&record->payload);
  w.Key(0, userId, enterpriseId);
  w.Window(window_record::kWindow, window);
  return record;
}

std::optional<Record> BuildVisibilityRecord(DWORD code, const std::wstring& userId, const std::wstring& enterpriseId,
                                            uint32_t show) noexcept {
  std::optional<Record> record = MakeRecord(code, visibility_record::kSize);
  if (!record) return record;
  Writer w(&record->payload);
  w.Key(0, userId, enterpriseId);
  w.U32(visibility_record::kShow, show);
  return record;
}

std::optional<Record> BuildAccountChangedRecord(const std::wstring& userId, const std::wstring& enterpriseId) noexcept {
  std::optional<Record> record = MakeRecord(to_host::kAccountChanged, account_changed_record::kSize);
  if (!record) return record;
  Writer(&record->payload).Key(0, userId, enterpriseId);
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

std::optional<Record> BuildProbeRecord(uint32_t first, uint32_t second, uint32_t third) noexcept {
  std::optional<Record> record = MakeRecord(to_host::kProbe, probe_record::kSize);
  if (!record) return record;
  Writer w(&record->payload);
  w.U32(probe_record::kFirst, first);
  w.U32(probe_record::kSecond, second);
  w.U32(probe_record::kThird, third);
  return record;
}

Record BuildEmptyRecord(DWORD code) noexcept {
  Record record;  // an empty vector allocates nothing
  record.code = code;
  return record;
}

bool ParseBarRecord(const void* data, size_t size, BarRecord* out) {
  if (!out || !SizeIs(data, size, bar_record::kSize)) return false;
  Reader r(data);
  out->hostWindow = r.I64(bar_record::kHostWindow);
  out->key.userId = r.Text(bar_record::kUserId, kUserIdChars);
  out->key.enterpriseId = r.Text(bar_record::kEnterpriseId, kEnterpriseIdChars);
  out->userName = r.Text(bar_record::kUserName, kNameChars);
  out->enterpriseName = r.Text(bar_record::kEnterpriseName, kNameChars);
  out->alwaysOne = r.U32(bar_record::kAlwaysOne);
  out->launch = r.U32(bar_record::kLaunch);
  out->barWindow = r.I64(bar_record::kBarWindow);
  out->reserved = r.U32(bar_record::kReserved);
  return true;
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

bool ParseSelectionStateRecord(const void* data, size_t size, SelectionStateRecord* out) {
  if (!out || !SizeIs(data, size, selection_state_record::kSize)) return false;
  Reader r(data);
  out->key = r.Key(0);
  out->frameWindow = r.I64(selection_state_record::kFrameWindow);
  out->count = r.U32(selection_state_record::kCount);
  return true;
}

bool ParseSelectedFilesReply(const void* data, size_t size, SelectedFilesReply* out) {
  if (!out || !data || size < selected_files_reply::kFixedBytes) return false;
  Reader r(data);
  const uint64_t listBytes = r.U64(selected_files_reply::kListBytes);
  if (!ListSizeFits(data, size, selected_files_reply::kFixedBytes, listBytes)) return false;
  out->key = r.Key(0);
  out->requestWindow = r.I64(selected_files_reply::kWindow);
  out->listBytes = listBytes;
  return r.PathList(selected_files_reply::kList, listBytes, &out->paths);
}

bool ParseShareRecord(const void* data, size_t size, ShareRecord* out) {
  if (!out || !data || size < path_list_window_record::kFixedBytes) return false;
  Reader r(data);
  const uint64_t listBytes = r.U64(path_list_window_record::kListBytes);
  if (!ListSizeFits(data, size, path_list_window_record::kFixedBytes, listBytes)) return false;
  out->window = r.I64(path_list_window_record::kWindow);
  out->listBytes = listBytes;
  return r.PathList(path_list_window_record::kList, listBytes, &out->paths);
}

bool ParsePathListRecord(const void* data, size_t size, PathListRecord* out) {
  if (!out || !data || size < path_list_record::kFixedBytes) return false;
  Reader r(data);
  const uint64_t listBytes = r.U64(path_list_record::kListBytes);
  if (!ListSizeFits(data, size, path_list_record::kFixedBytes, listBytes)) return false;
  out->listBytes = listBytes;
  return r.PathList(path_list_record::kList, listBytes, &out->paths);
}

bool ParseHistoryRecord(const void* data, size_t size, std::wstring* out) {
  if (!out || !data || size < sizeof(wchar_t) || size % sizeof(wchar_t) != 0) return false;
  const size_t units = size / sizeof(wchar_t);
  std::vector<wchar_t> text(units);
  std::memcpy(text.data(), data, size);
  if (text.back() != L'\0') return false;
  *out = ReadField(text.data(), units);
  return true;
}

bool ParseBarSizeRecord(const void* data, size_t size, BarSizeRecord* out) {
  if (!out || !SizeIs(data, size, bar_size_record::kSize)) return false;
  Reader r(data);
  out->key = r.Key(0);
  out->externalWindow = r.I64(bar_size_record::kExternalWindow);
  out->left = r.I32(bar_size_record::kLeft);
  out->top = r.I32(bar_size_record::kTop);
  out->right = r.I32(bar_size_record::kRight);
  out->bottom = r.I32(bar_size_record::kBottom);
  return true;
}

bool ParseBarClosingRecord(const void* data, size_t size, BarClosingRecord* out) {
  if (!out || !SizeIs(data, size, bar_closing_record::kSize)) return false;
  Reader r(data);
  out->hostWindow = r.I64(bar_closing_record::kHostWindow);
  out->barWindow = r.I64(bar_closing_record::kBarWindow);
  out->embeddedWindow = r.I64(bar_closing_record::kEmbeddedWindow);
  return true;
}

bool ParseSelectionFlagRecord(const void* data, size_t size, uint8_t* out) {
  if (!out || !SizeIs(data, size, flag_record::kSize)) return false;
  *out = Reader(data).U8(flag_record::kFlag);
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
