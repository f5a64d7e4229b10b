#include "desktop_app_standin.h"

#include <cstdlib>

#include "base/text.h"

namespace quillan::test {

namespace {

constexpr wchar_t kMainWindowClassName[] = L"{465164DF-35A8-4AE3-BEE7-9626FCD521EC}";

// Position just after "key": in line, or npos.
size_t ValueAt(const std::string& line, const std::string& key) {
  const std::string pattern = "\"" + key + "\":";
  const size_t at = line.find(pattern);
  return at == std::string::npos ? at : at + pattern.size();
}

bool HexToBytes(const std::string& hex, std::vector<uint8_t>* bytes) {
  bytes->clear();
  if (hex.size() % 2 != 0) return false;
  for (size_t i = 0; i < hex.size(); i += 2) {
    char pair[3] = {hex[i], hex[i + 1], '\0'};
    char* end = nullptr;
    const unsigned long value = std::strtoul(pair, &end, 16);
    if (*end != '\0') return false;
    bytes->push_back(static_cast<uint8_t>(value));
  }
  return true;
}

}  // namespace

bool JsonInt(const std::string& line, const std::string& key, int64_t* value) {
  const size_t at = ValueAt(line, key);
  if (at == std::string::npos) return false;
  char* end = nullptr;
  const long long parsed = std::strtoll(line.c_str() + at, &end, 10);
  if (end == line.c_str() + at) return false;
  *value = parsed;
  return true;
}

bool JsonBool(const std::string& line, const std::string& key, bool* value) {
  const size_t at = ValueAt(line, key);
  if (at == std::string::npos) return false;
  if (line.compare(at, 4, "true") == 0) {
    *value = true;
    return true;
  }
  if (line.compare(at, 5, "false") == 0) {
    *value = false;
    return true;
  }
  return false;
}

bool JsonText(const std::string& line, const std::string& key, std::wstring* value) {
  size_t at = ValueAt(line, key);
  if (at == std::string::npos || at >= line.size() || line[at] != '"') return false;
  std::string utf8;
  std::wstring out;
  for (++at; at < line.size() && line[at] != '"'; ++at) {
    if (line[at] != '\\') {
      utf8 += line[at];
      continue;
    }
    if (++at >= line.size()) return false;
    if (line[at] == 'u' && at + 4 < line.size()) {
      out += Utf8ToWide(utf8);
      utf8.clear();
      out += static_cast<wchar_t>(std::strtoul(line.substr(at + 1, 4).c_str(), nullptr, 16));
      at += 4;
    } else {
      utf8 += line[at];
    }
  }
  out += Utf8ToWide(utf8);
  *value = out;
  return true;
}

std::string JsonEvent(const std::string& line) {
  std::wstring event;
  return JsonText(line, "event", &event) ? WideToUtf8(event) : std::string();
}

std::vector<std::string> ReadStandinLog(const std::wstring& logPath) {
  std::string bytes;
  std::vector<std::string> lines;
  if (!ReadBytes(logPath, &bytes)) return lines;
  size_t start = 0;
  while (start < bytes.size()) {
    const size_t end = bytes.find('\n', start);
    if (end == std::string::npos) break;  // a line still being written
    lines.push_back(bytes.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

std::vector<StandinLogRecord> ReadStandinRecords(const std::wstring& logPath) {
  std::vector<StandinLogRecord> records;
  for (const std::string& line : ReadStandinLog(logPath)) {
    if (JsonEvent(line) != "record") continue;
    StandinLogRecord record;
    int64_t code = 0;
    int64_t size = 0;
    int64_t tick = 0;
    std::wstring hex;
    if (!JsonInt(line, "code", &code) || !JsonInt(line, "size", &size) || !JsonText(line, "hex", &hex)) continue;
    JsonInt(line, "tick", &tick);
    record.code = static_cast<DWORD>(code);
    record.size = static_cast<size_t>(size);
    record.tick = static_cast<DWORD>(tick);
    if (!HexToBytes(WideToUtf8(hex), &record.payload)) continue;
    record.line = line;
    records.push_back(std::move(record));
  }
  return records;
}

DesktopAppStandin::DesktopAppStandin() : logPath_(dir_ / L"standin.log") {}

DesktopAppStandin::~DesktopAppStandin() { Stop(); }

bool DesktopAppStandin::Start(const std::vector<std::wstring>& args, const std::wstring& exe) {
  const std::wstring program = exe.empty() ? BinDir() + L"\\desktop-app-standin.exe" : exe;
  std::wstring commandLine = QuoteArg(program) + L" --log " + QuoteArg(logPath_);
  for (const std::wstring& arg : args) commandLine += L" " + QuoteArg(arg);
  if (!process_.Start(program, commandLine)) return false;
  const DWORD id = process_.id();
  const bool found = PumpUntil(
      [&] {
        HWND window = nullptr;
        while ((window = ::FindWindowExW(nullptr, window, kMainWindowClassName, nullptr)) != nullptr) {
          DWORD owner = 0;
          ::GetWindowThreadProcessId(window, &owner);
          if (owner == id) {
            window_ = window;
            return true;
          }
        }
        return ::WaitForSingleObject(process_.handle(), 0) == WAIT_OBJECT_0;  // ended: stop waiting
      },
      10000);
  return found && window_ && Control(L"ping") == 1;
}

void DesktopAppStandin::Stop() {
  if (!process_.handle()) return;
  if (window_ && ::IsWindow(window_)) Control(L"quit", 2000);
  if (!process_.Wait(5000)) process_.Kill();
  process_.Kill();  // releases the handle
  window_ = nullptr;
}

std::wstring DesktopAppStandin::WriteScenario(const std::wstring& commands) const {
  static LONG counter = 0;
  const std::wstring path = dir_ / (L"scenario-" + std::to_wstring(::InterlockedIncrement(&counter)) + L".txt");
  WriteBytes(path, WideToUtf8(commands));
  return path;
}

LRESULT DesktopAppStandin::Control(const std::wstring& command, DWORD timeoutMs) const {
  if (!window_) return kStandinFailed;
  std::wstring text = command;
  COPYDATASTRUCT data = {kStandinControlCode, static_cast<DWORD>(text.size() * sizeof(wchar_t)),
                         text.empty() ? nullptr : &text[0]};
  DWORD_PTR answer = 0;
  if (!::SendMessageTimeoutW(window_, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_NORMAL, timeoutMs,
                             &answer)) {
    return kStandinFailed;
  }
  return static_cast<LRESULT>(answer);
}

std::vector<std::string> DesktopAppStandin::Lines(const std::string& event) const {
  std::vector<std::string> lines = ReadStandinLog(logPath_);
  if (event.empty()) return lines;
  std::vector<std::string> kept;
  for (std::string& line : lines) {
    if (JsonEvent(line) == event) kept.push_back(std::move(line));
  }
  return kept;
}

std::vector<StandinLogRecord> DesktopAppStandin::Records(DWORD code) const {
  std::vector<StandinLogRecord> records = ReadStandinRecords(logPath_);
  if (code == 0) return records;
  std::vector<StandinLogRecord> kept;
  for (StandinLogRecord& record : records) {
    if (record.code == code) kept.push_back(std::move(record));
  }
  return kept;
}

bool DesktopAppStandin::WaitForRecords(DWORD code, size_t count, DWORD timeoutMs) const {
  return PumpUntil([&] { return Records(code).size() >= count; }, timeoutMs);
}

bool DesktopAppStandin::WaitForLines(const std::string& event, size_t count, DWORD timeoutMs) const {
  return PumpUntil([&] { return Lines(event).size() >= count; }, timeoutMs);
}

}  // namespace quillan::test
