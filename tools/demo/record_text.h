// Records the desktop application received, told in words: the code, what it means, and its fields
// decoded from the payload bytes (the layouts of src/ipc/records.h).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace quillan::demo {

// "0x0002004C": the low 32 bits of a window handle as it travelled.
std::wstring WireWindowText(int64_t wire);
std::wstring WindowText(HWND window);

// One line of heading ("33777 bar record, not logged in (4388 bytes)") and one line per field.
std::vector<std::wstring> DescribeRecord(DWORD code, const std::vector<uint8_t>& payload);

}  // namespace quillan::demo
