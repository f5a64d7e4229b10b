// Records the desktop application received, told as text: a heading with the code, its name and size,
// then the fields the shared describer (ipc_peer/record_fields.h) decodes from the payload.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ipc_peer/record_fields.h"

namespace quillan::demo {

// "0x0002004C": the low 32 bits of a window handle as it travels.
std::wstring WindowText(HWND window);

// "33777 bar-not-logged-in (4388 bytes)", then the fields, a few to a line.
std::vector<std::wstring> DescribeRecord(DWORD code, const std::vector<uint8_t>& payload);

}  // namespace quillan::demo
