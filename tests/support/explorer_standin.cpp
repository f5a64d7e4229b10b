#include "explorer_standin.h"

#include <cstdlib>

#include "base/handle.h"
#include "base/text.h"
#include "standin_protocol.h"

namespace quillan::test {

namespace {

// Reads a JSON string starting at the opening quote; advances past the closing quote.
bool ReadJsonString(const std::string& text, size_t* at, std::wstring* out) {
  std::string bytes;
  std::wstring wide;
  auto flush = [&] {
    wide += Utf8ToWide(bytes);
    bytes.clear();
  };
  size_t i = *at + 1;
  while (i < text.size()) {
    char c = text[i];
    if (c == '"') {
      flush();
      *out = wide;
      *at = i + 1;
      return true;
    }
    if (c != '\\') {
      bytes.push_back(c);
      ++i;
      continue;
    }
    if (i + 1 >= text.size()) return false;
    char e = text[i + 1];
    i += 2;
    switch (e) {
      case '"': bytes.push_back('"'); break;
      case '\\': bytes.push_back('\\'); break;
      case '/': bytes.push_back('/'); break;
      case 'n': bytes.push_back('\n'); break;
      case 'r': bytes.push_back('\r'); break;
      case 't': bytes.push_back('\t'); break;
      case 'b': bytes.push_back('\b'); break;
      case 'f': bytes.push_back('\f'); break;
      case 'u': {
        if (i + 4 > text.size()) return false;
        char* end = nullptr;
        std::string hex = text.substr(i, 4);
        unsigned long unit = std::strtoul(hex.c_str(), &end, 16);
        if (end != hex.c_str() + 4) return false;
        flush();
        wide.push_back(static_cast<wchar_t>(unit));
        i += 4;
        break;
      }
      default:
        return false;
    }
  }
  return false;
}

void SkipBlanks(const std::string& text, size_t* at) {
  while (*at < text.size() && (text[*at] == ' ' || text[*at] == '\t' || text[*at] == '\r')) ++*at;
}

}  // namespace

std::wstring StandinRecord::Text(const std::wstring& key) const {
  auto it = fields.find(key);
  return it == fields.end() ? std::wstring() : it->second;
}

long long StandinRecord::Number(const std::wstring& key, long long fallback) const {
  auto it = fields.find(key);
  if (it == fields.end() || it->second.empty()) return fallback;
  wchar_t* end = nullptr;
  long long value = std::wcstoll(it->second.c_str(), &end, 0);
  return *end == L'\0' ? value : fallback;
}

HWND StandinRecord::Window(const std::wstring& key) const {
  return reinterpret_cast<HWND>(static_cast<INT_PTR>(Number(key, 0)));
}

bool ParseStandinRecord(const std::string& utf8, StandinRecord* record) {
  *record = StandinRecord();
  size_t at = 0;
  SkipBlanks(utf8, &at);
  if (at >= utf8.size() || utf8[at] != '{') return false;
  ++at;
  for (;;) {
    SkipBlanks(utf8, &at);
    if (at < utf8.size() && utf8[at] == '}') break;
    std::wstring key;
    if (at >= utf8.size() || utf8[at] != '"' || !ReadJsonString(utf8, &at, &key)) return false;
    SkipBlanks(utf8, &at);
    if (at >= utf8.size() || utf8[at] != ':') return false;
    ++at;
    SkipBlanks(utf8, &at);
    std::wstring value;
    if (at < utf8.size() && utf8[at] == '"') {
      if (!ReadJsonString(utf8, &at, &value)) return false;
    } else {
      size_t end = utf8.find_first_of(",}", at);
      if (end == std::string::npos || end == at) return false;
      value = Utf8ToWide(utf8.substr(at, end - at));
      while (!value.empty() && value.back() == L' ') value.pop_back();
      at = end;
    }
    record->fields[key] = value;
    SkipBlanks(utf8, &at);
    if (at < utf8.size() && utf8[at] == ',') {
      ++at;
      continue;
    }
    if (at < utf8.size() && utf8[at] == '}') break;
    return false;
  }
  auto type = record->fields.find(L"type");
  if (type == record->fields.end()) return false;
  record->type = type->second;
  return true;
}

std::wstring StandinProgram() { return BinDir() + L"\\explorer-standin.exe"; }

std::wstring StandinProgramClaiming(const std::wstring& wineVersion) {
  std::wstring name = L"explorer-standin-" + wineVersion + L".exe";
  std::wstring copy = BinDir() + L"\\" + name;
  // A copy that is running (another test) cannot be replaced, and need not be: it is the same program.
  if (!::CopyFileW(StandinProgram().c_str(), copy.c_str(), FALSE) && !FileExists(copy)) return std::wstring();
  std::wstring key = L"Software\\Wine\\AppDefaults\\" + name;
  UniqueKey appKey;
  if (::RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, appKey.put(), nullptr) !=
      ERROR_SUCCESS) {
    return std::wstring();
  }
  DWORD bytes = static_cast<DWORD>((wineVersion.size() + 1) * sizeof(wchar_t));
  if (::RegSetValueExW(appKey.get(), L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(wineVersion.c_str()), bytes) !=
      ERROR_SUCCESS) {
    return std::wstring();
  }
  return copy;
}

namespace {

struct FrameSearch {
  DWORD pid;
  HWND found;
};

BOOL CALLBACK MatchFrame(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<FrameSearch*>(param);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  wchar_t name[64] = {};
  ::GetClassNameW(window, name, 64);
  if (owner != search->pid || (std::wstring(name) != L"CabinetWClass" && std::wstring(name) != L"ExploreWClass")) {
    return TRUE;
  }
  search->found = window;
  return FALSE;
}

}  // namespace

HWND FindExplorerFrame(DWORD pid) {
  FrameSearch search{pid, nullptr};
  ::EnumWindows(&MatchFrame, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

ExplorerStandin::~ExplorerStandin() { process_.Kill(); }

bool ExplorerStandin::Start(const Options& options) {
  if (dir_.path().empty()) return false;
  std::wstring program = options.claimVersion.empty() ? StandinProgram() : StandinProgramClaiming(options.claimVersion);
  if (program.empty()) return false;
  log_ = dir_ / L"standin.log";
  std::wstring commandLine = QuoteArg(program) + L" --quiet " + QuoteArg(L"--log=" + log_);
  if (!options.script.empty()) {
    std::wstring script = dir_ / L"script.txt";
    if (!WriteUtf16File(script, options.script)) return false;
    commandLine += L" " + QuoteArg(L"--script=" + script);
  }
  for (const auto& argument : options.arguments) commandLine += L" " + QuoteArg(argument);
  return process_.Start(program, commandLine);
}

std::string ExplorerStandin::Log() const {
  std::string bytes;
  if (log_.empty() || !ReadBytes(log_, &bytes)) return std::string();
  return bytes;
}

std::vector<StandinRecord> ExplorerStandin::Records() const {
  std::vector<StandinRecord> records;
  std::string bytes = Log();
  size_t start = 0;
  // A line still being written has no newline yet; it is read next time.
  for (size_t end = bytes.find('\n'); end != std::string::npos; start = end + 1, end = bytes.find('\n', start)) {
    StandinRecord record;
    if (ParseStandinRecord(bytes.substr(start, end - start), &record)) records.push_back(std::move(record));
  }
  return records;
}

std::vector<StandinRecord> ExplorerStandin::Records(const std::wstring& type) const {
  std::vector<StandinRecord> records;
  for (auto& record : Records()) {
    if (record.type == type) records.push_back(std::move(record));
  }
  return records;
}

bool ExplorerStandin::WaitForRecord(const std::wstring& type, const std::function<bool(const StandinRecord&)>& predicate,
                                    DWORD timeoutMs, StandinRecord* found) {
  DWORD start = ::GetTickCount();
  for (;;) {
    // Once the program has ended its log is complete, so a miss after that is final.
    bool ended = process_.Wait(0);
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
  if (!WaitForRecord(L"frame", [frame](const StandinRecord& r) { return r.Number(L"frame") == frame; }, timeoutMs, &record)) {
    return nullptr;
  }
  return record.Window(L"hwnd");
}

bool ExplorerStandin::Run(const std::wstring& steps, DWORD timeoutMs) {
  StandinRecord start;
  if (!WaitForRecord(L"start", nullptr, timeoutMs, &start)) return false;
  HWND control = start.Window(L"control");
  COPYDATASTRUCT data = {};
  data.dwData = standin::kStepsCopyDataCode;
  data.cbData = static_cast<DWORD>(steps.size() * sizeof(wchar_t));
  data.lpData = const_cast<wchar_t*>(steps.data());
  DWORD_PTR batch = 0;
  if (!::SendMessageTimeoutW(control, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_NORMAL, timeoutMs, &batch) ||
      batch == 0) {
    return false;
  }
  return WaitForRecord(L"done", [batch](const StandinRecord& r) { return r.Number(L"batch") == static_cast<long long>(batch); },
                       timeoutMs);
}

}  // namespace quillan::test
