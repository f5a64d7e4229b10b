#include "explorer_driver.h"

#include <cwchar>

#include "base/text.h"
#include "standin_protocol.h"

namespace quillan::harness {

std::wstring StandinRecord::Text(const std::wstring& key) const {
  std::wstring value;
  if (JsonText(line, WideToUtf8(key), &value)) return value;
  // A number, true or false: as written.
  const std::string pattern = "\"" + WideToUtf8(key) + "\":";
  const size_t at = line.find(pattern);
  if (at == std::string::npos) return value;
  const size_t from = at + pattern.size();
  return Utf8ToWide(line.substr(from, line.find_first_of(",}", from) - from));
}

long long StandinRecord::Number(const std::wstring& key, long long fallback) const {
  int64_t number = 0;
  if (JsonInt(line, WideToUtf8(key), &number)) return number;
  const std::wstring text = Text(key);
  wchar_t* end = nullptr;
  const long long value = std::wcstoll(text.c_str(), &end, 0);
  return !text.empty() && *end == L'\0' ? value : fallback;
}

HWND StandinRecord::Window(const std::wstring& key) const {
  return reinterpret_cast<HWND>(static_cast<INT_PTR>(Number(key, 0)));
}

bool ExplorerStandin::Start(const Options& options) {
  if (dir_.path().empty()) return false;
  const std::wstring program = BinDir() + L"\\explorer-standin.exe";
  log_ = dir_ / L"standin.log";
  std::wstring commandLine = QuoteArg(program) + L" --quiet " + QuoteArg(L"--log=" + log_);
  if (!options.script.empty()) {
    const std::wstring script = dir_ / L"script.txt";
    if (!WriteUtf16File(script, options.script)) return false;
    commandLine += L" " + QuoteArg(L"--script=" + script);
  }
  for (const auto& argument : options.arguments) commandLine += L" " + QuoteArg(argument);
  return process_.Start(program, commandLine);
}

std::string ExplorerStandin::Log() const {
  std::string bytes;
  ReadBytes(log_, &bytes);
  return bytes;
}

std::vector<StandinRecord> ExplorerStandin::Records(const std::wstring& type) const {
  std::vector<StandinRecord> records;
  for (std::string& line : ReadLines(log_)) {
    StandinRecord record{std::wstring(), std::move(line)};
    record.type = record.Text(L"type");
    if (!record.type.empty() && (type.empty() || record.type == type)) records.push_back(std::move(record));
  }
  return records;
}

bool ExplorerStandin::WaitForRecord(const std::wstring& type, const std::function<bool(const StandinRecord&)>& predicate,
                                    DWORD timeoutMs, StandinRecord* found) {
  const DWORD start = ::GetTickCount();
  for (;;) {
    // Once the program has ended its log is complete, so a miss after that is final.
    const bool ended = process_.Wait(0);
    for (const auto& record : Records(type)) {
      if (!predicate || predicate(record)) {
        if (found) *found = record;
        return true;
      }
    }
    if (ended || ::GetTickCount() - start >= timeoutMs) return false;
    PumpFor(20);
  }
}

HWND ExplorerStandin::WaitForFrame(int frame, DWORD timeoutMs) {
  StandinRecord record;
  auto isFrame = [frame](const StandinRecord& r) { return r.Number(L"frame") == frame; };
  return WaitForRecord(L"frame", isFrame, timeoutMs, &record) ? record.Window(L"hwnd") : nullptr;
}

bool ExplorerStandin::Run(const std::wstring& steps, DWORD timeoutMs) {
  StandinRecord start;
  if (!WaitForRecord(L"start", nullptr, timeoutMs, &start)) return false;
  COPYDATASTRUCT data = {standin::kStepsCopyDataCode, static_cast<DWORD>(steps.size() * sizeof(wchar_t)),
                         const_cast<wchar_t*>(steps.data())};
  DWORD_PTR batch = 0;
  if (!::SendMessageTimeoutW(start.Window(L"control"), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_NORMAL,
                             timeoutMs, &batch) ||
      batch == 0) {
    return false;
  }
  auto isDone = [batch](const StandinRecord& r) { return r.Number(L"batch") == static_cast<long long>(batch); };
  return WaitForRecord(L"done", isDone, timeoutMs);
}

}  // namespace quillan::harness
