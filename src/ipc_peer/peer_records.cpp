#include "ipc_peer/peer_records.h"

#include <cstring>

#include "ipc/record_bytes.h"

namespace quillan {

using namespace record_bytes;

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

std::optional<Record> BuildProbeRecord(uint32_t first, uint32_t second, uint32_t third) noexcept {
  std::optional<Record> record = MakeRecord(to_host::kProbe, probe_record::kSize);
  if (!record) return record;
  Writer w(&record->payload);
  w.U32(probe_record::kFirst, first);
  w.U32(probe_record::kSecond, second);
  w.U32(probe_record::kThird, third);
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

}  // namespace quillan
