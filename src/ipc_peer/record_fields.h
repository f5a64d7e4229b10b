// The fields of a record to the main window, decoded once for every reader: the desktop stand-in writes
// them into its log as JSON, the demo prints them as text.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quillan {

struct RecordField {
  enum Kind { kText, kNumber, kWindow, kPaths };
  Kind kind = kNumber;
  const char* name = "";
  std::wstring text;
  int64_t number = 0;  // numbers, and windows as they travel (the 32-bit handle sign-extended)
  std::vector<std::wstring> paths;
};

struct RecordFields {
  const char* name = "unknown";  // "bar-logged-in", "share", ...
  bool valid = false;            // false when the payload does not fit the layout of its code
  std::vector<RecordField> fields;
};

RecordFields DescribeRecord(DWORD code, const void* data, size_t size);

// A window as it travelled, for people: "0x0001002A" (its low 32 bits).
std::wstring WireWindowText(int64_t wire);

}  // namespace quillan
