#include "record_text.h"

#include "ipc/records.h"

namespace quillan::demo {

std::wstring WindowText(HWND window) { return WireWindowText(WindowToWire(window)); }

std::vector<std::wstring> DescribeRecord(DWORD code, const std::vector<uint8_t>& payload) {
  const RecordFields record = quillan::DescribeRecord(code, payload.data(), payload.size());
  std::wstring heading = std::to_wstring(code) + L" ";
  for (const char* c = record.name; *c; ++c) heading += static_cast<wchar_t>(*c);
  std::vector<std::wstring> lines = {heading + L" (" + std::to_wstring(payload.size()) + L" bytes)"};
  std::wstring line;
  for (const RecordField& field : record.fields) {
    std::wstring value = field.kind == RecordField::kText     ? field.text
                         : field.kind == RecordField::kWindow ? WireWindowText(field.number)
                                                              : std::to_wstring(field.number);
    if (field.kind == RecordField::kPaths) {
      value.clear();
      for (const std::wstring& path : field.paths) value += (value.empty() ? L"" : L"; ") + path;
    }
    std::wstring name;
    for (const char* c = field.name; *c; ++c) name += static_cast<wchar_t>(*c);
    line += (line.empty() ? L"" : L", ") + name + L" " + value;
    if (line.size() > 80) lines.push_back(std::move(line)), line.clear();
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

}  // namespace quillan::demo
