// Reading and writing the records' bytes: little-endian values and fixed text fields of a zeroed
// payload, path lists, and the size checks every parser makes first. Shared by the records this side
// sends and receives (records.cpp) and by the application's side of the protocol (ipc_peer).
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "base/text.h"
#include "ipc/records.h"

namespace quillan::record_bytes {

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
inline std::optional<Record> MakeRecord(DWORD code, size_t size) noexcept {
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
inline std::optional<Record> MakeListRecord(DWORD code, size_t fixedBytes, uint64_t listBytes) noexcept {
  // cbData is 32 bits; below that limit the total also fits size_t on both widths.
  if (listBytes > std::numeric_limits<DWORD>::max() - fixedBytes) return std::nullopt;
  return MakeRecord(code, static_cast<size_t>(fixedBytes + listBytes));
}

// Fixed-size records are checked before any byte is read.
inline bool SizeIs(const void* data, size_t size, size_t expected) { return data != nullptr && size == expected; }

// A list record is fixedBytes plus the L it declares; any other total is malformed.
inline bool ListSizeFits(const void* data, size_t size, size_t fixedBytes, uint64_t listBytes) {
  return data != nullptr && size >= fixedBytes && listBytes == static_cast<uint64_t>(size - fixedBytes);
}

}  // namespace quillan::record_bytes
