#include "desktop_app_driver.h"

#include <algorithm>

#include "base/text.h"

namespace quillan::harness {

namespace {

constexpr wchar_t kMainWindowClassName[] = L"{465164DF-35A8-4AE3-BEE7-9626FCD521EC}";

bool HexToBytes(const std::string& hex, std::vector<uint8_t>* bytes) {
  if (hex.size() % 2 != 0 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) return false;
  bytes->clear();
  for (size_t i = 0; i < hex.size(); i += 2) {
    bytes->push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
  }
  return true;
}

}  // namespace

std::string JsonEvent(const std::string& line) {
  std::wstring event;
  return JsonText(line, "event", &event) ? WideToUtf8(event) : std::string();
}

std::vector<std::string> ReadStandinLog(const std::wstring& logPath) { return ReadLines(logPath); }

bool ParseStandinRecord(const std::string& line, DesktopAppRecord* record) {
  int64_t code = 0;
  int64_t size = 0;
  int64_t tick = 0;
  std::wstring hex;
  if (JsonEvent(line) != "record" || !JsonInt(line, "code", &code) || !JsonInt(line, "size", &size) ||
      !JsonText(line, "hex", &hex) || !HexToBytes(WideToUtf8(hex), &record->payload)) {
    return false;
  }
  JsonInt(line, "tick", &tick);
  record->code = static_cast<DWORD>(code);
  record->size = static_cast<size_t>(size);
  record->tick = static_cast<DWORD>(tick);
  record->line = line;
  return true;
}

std::vector<DesktopAppRecord> ReadStandinRecords(const std::wstring& logPath) {
  std::vector<DesktopAppRecord> records;
  for (const std::string& line : ReadStandinLog(logPath)) {
    DesktopAppRecord record;
    if (ParseStandinRecord(line, &record)) records.push_back(std::move(record));
  }
  return records;
}

HWND FindStandinMainWindow(DWORD processId) {
  HWND window = nullptr;
  while ((window = ::FindWindowExW(nullptr, window, kMainWindowClassName, nullptr)) != nullptr) {
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner == processId) return window;
  }
  return nullptr;
}

LRESULT SendStandinControl(HWND window, const std::wstring& command, DWORD timeoutMs) {
  if (!window) return kStandinFailed;
  std::wstring text = command;
  COPYDATASTRUCT data = {kStandinControlCode, static_cast<DWORD>(text.size() * sizeof(wchar_t)),
                         text.empty() ? nullptr : &text[0]};
  DWORD_PTR answer = 0;
  if (!::SendMessageTimeoutW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_NORMAL, timeoutMs,
                             &answer)) {
    return kStandinFailed;
  }
  return static_cast<LRESULT>(answer);
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
        window_ = FindStandinMainWindow(id);
        return window_ || ::WaitForSingleObject(process_.handle(), 0) == WAIT_OBJECT_0;  // ended: stop waiting
      },
      10000);
  return found && window_ && Control(L"ping") == 1;
}

void DesktopAppStandin::Stop() {
  if (!process_.handle()) return;
  if (window_ && ::IsWindow(window_)) Control(L"quit", 2000);
  process_.Wait(5000);
  process_.Kill();  // ends it when it did not quit, and releases the handle
  window_ = nullptr;
}

std::wstring DesktopAppStandin::WriteScenario(const std::wstring& commands) const {
  static LONG counter = 0;
  const std::wstring path = dir_ / (L"scenario-" + std::to_wstring(::InterlockedIncrement(&counter)) + L".txt");
  WriteBytes(path, WideToUtf8(commands));
  return path;
}

LRESULT DesktopAppStandin::Control(const std::wstring& command, DWORD timeoutMs) const {
  return SendStandinControl(window_, command, timeoutMs);
}

std::vector<std::string> DesktopAppStandin::Lines(const std::string& event) const {
  std::vector<std::string> lines = ReadLines(logPath_);
  auto other = [&](const std::string& line) { return !event.empty() && JsonEvent(line) != event; };
  lines.erase(std::remove_if(lines.begin(), lines.end(), other), lines.end());
  return lines;
}

std::vector<DesktopAppRecord> DesktopAppStandin::Records(DWORD code) const {
  std::vector<DesktopAppRecord> records = ReadStandinRecords(logPath_);
  auto other = [code](const DesktopAppRecord& record) { return code != 0 && record.code != code; };
  records.erase(std::remove_if(records.begin(), records.end(), other), records.end());
  return records;
}

bool DesktopAppStandin::WaitForRecords(DWORD code, size_t count, DWORD timeoutMs) const {
  return PumpUntil([&] { return Records(code).size() >= count; }, timeoutMs);
}

}  // namespace quillan::harness
