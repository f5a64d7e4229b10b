// The desktop application's side of the records: what it builds for a host window, and how it reads
// what the host, the bar and the context menu send to its main window. The stand-ins, the tests and the
// benchmarks link it; the DLL does not.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ipc/records.h"

namespace quillan {

// ---- Records to a host window. Texts longer than their field are cut to fit.

// Codes 33769, 33783, 33793.
std::optional<Record> BuildWindowRecord(DWORD code, const std::wstring& userId, const std::wstring& enterpriseId,
                                        HWND window) noexcept;
// Codes 33771, 33772.
std::optional<Record> BuildVisibilityRecord(DWORD code, const std::wstring& userId, const std::wstring& enterpriseId,
                                            uint32_t show) noexcept;
// Code 33775.
std::optional<Record> BuildAccountChangedRecord(const std::wstring& userId, const std::wstring& enterpriseId) noexcept;
// Code 33789.
std::optional<Record> BuildProbeRecord(uint32_t first, uint32_t second, uint32_t third) noexcept;

// ---- Records to the main window, parsed. Each function takes a payload and its exact size and fails on
// any other size or a malformed path list; texts are read only inside their field.

struct BarRecord {
  int64_t hostWindow = 0;
  AccountKey key;
  std::wstring userName;
  std::wstring enterpriseName;
  uint32_t alwaysOne = 0;
  uint32_t launch = 0;
  int64_t barWindow = 0;
  uint32_t reserved = 0;
};

struct SelectionStateRecord {
  AccountKey key;
  int64_t frameWindow = 0;
  uint32_t count = 0;
};

struct SelectedFilesReply {
  AccountKey key;
  int64_t requestWindow = 0;  // the two 32-bit words at 264 and 268
  uint64_t listBytes = 0;
  std::vector<std::wstring> paths;
};

struct ShareRecord {
  int64_t window = 0;
  uint64_t listBytes = 0;
  std::vector<std::wstring> paths;
};

struct PathListRecord {
  uint64_t listBytes = 0;
  std::vector<std::wstring> paths;
};

struct BarSizeRecord {
  AccountKey key;
  int64_t externalWindow = 0;
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
};

struct BarClosingRecord {
  int64_t hostWindow = 0;
  int64_t barWindow = 0;
  int64_t embeddedWindow = 0;
};

bool ParseBarRecord(const void* data, size_t size, BarRecord* out);
bool ParseSelectionStateRecord(const void* data, size_t size, SelectionStateRecord* out);
bool ParseSelectedFilesReply(const void* data, size_t size, SelectedFilesReply* out);
bool ParseShareRecord(const void* data, size_t size, ShareRecord* out);
bool ParsePathListRecord(const void* data, size_t size, PathListRecord* out);
// The path up to its zero; the payload must be a whole number of code units ending in a zero.
bool ParseHistoryRecord(const void* data, size_t size, std::wstring* out);
bool ParseBarSizeRecord(const void* data, size_t size, BarSizeRecord* out);
bool ParseBarClosingRecord(const void* data, size_t size, BarClosingRecord* out);
bool ParseSelectionFlagRecord(const void* data, size_t size, uint8_t* out);

}  // namespace quillan
