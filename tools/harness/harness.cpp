#include "harness.h"

#include <shlwapi.h>

#include "base/handle.h"
#include "base/text.h"

#include <cstdlib>
#include <utility>

namespace quillan::harness {

TempDir::TempDir() {
  wchar_t base[MAX_PATH] = {};
  DWORD n = ::GetTempPathW(MAX_PATH, base);
  std::wstring root = (n > 0 && n < MAX_PATH) ? std::wstring(base, n) : std::wstring(L"C:\\");
  if (!root.empty() && root.back() == L'\\') root.pop_back();
  static LONG counter = 0;
  for (int attempt = 0; attempt < 1000; ++attempt) {
    std::wstring candidate = root + L"\\quillan-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                             std::to_wstring(::InterlockedIncrement(&counter)) + L"-" +
                             std::to_wstring(::GetTickCount() % 100000);
    if (::CreateDirectoryW(candidate.c_str(), nullptr)) {
      path_ = candidate;
      return;
    }
  }
}

TempDir::~TempDir() {
  if (!path_.empty()) RemoveTree(path_);
}

std::wstring TempDir::operator/(const std::wstring& relative) const { return path_ + L"\\" + relative; }

std::wstring BinDir() {
  std::wstring path(32768, L'\0');
  DWORD n = ::GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
  path.resize(n);
  size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring(L".") : path.substr(0, slash);
}

bool MakeDirs(const std::wstring& path) {
  if (path.empty()) return false;
  if (::PathIsDirectoryW(path.c_str())) return true;
  size_t slash = path.find_last_of(L'\\');
  if (slash != std::wstring::npos && slash > 2) MakeDirs(path.substr(0, slash));
  return ::CreateDirectoryW(path.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS;
}

void RemoveTree(const std::wstring& path) {
  WIN32_FIND_DATAW data;
  UniqueFind find(::FindFirstFileW((path + L"\\*").c_str(), &data));
  if (find) {
    do {
      std::wstring name = data.cFileName;
      if (name == L"." || name == L"..") continue;
      std::wstring child = path + L"\\" + name;
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(child);
      } else {
        ::SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(child.c_str());
      }
    } while (::FindNextFileW(find.get(), &data));
  }
  find.reset();
  ::RemoveDirectoryW(path.c_str());
}

bool WriteBytes(const std::wstring& path, const void* data, size_t size) {
  size_t slash = path.find_last_of(L'\\');
  if (slash != std::wstring::npos) MakeDirs(path.substr(0, slash));
  UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  DWORD written = 0;
  if (size == 0) return true;
  return ::WriteFile(file.get(), data, static_cast<DWORD>(size), &written, nullptr) && written == size;
}

bool WriteBytes(const std::wstring& path, const std::string& bytes) { return WriteBytes(path, bytes.data(), bytes.size()); }

bool WriteUtf16File(const std::wstring& path, const std::wstring& text, bool withMark) {
  std::string bytes;
  if (withMark) bytes = "\xFF\xFE";
  bytes.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
  return WriteBytes(path, bytes);
}

bool WriteAnsiFile(const std::wstring& path, const std::wstring& text) { return WriteBytes(path, WideToAnsi(text)); }

bool ReadBytes(const std::wstring& path, std::string* bytes) {
  bytes->clear();
  UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  char buffer[65536];
  DWORD got = 0;
  while (::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) bytes->append(buffer, got);
  return true;
}

bool FileExists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

}  // namespace quillan::harness

namespace quillan::harness {

ChildProcess::~ChildProcess() { Kill(); }

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : process_(std::exchange(other.process_, nullptr)), id_(std::exchange(other.id_, 0)) {}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
  if (this != &other) {
    Kill();
    process_ = std::exchange(other.process_, nullptr);
    id_ = std::exchange(other.id_, 0);
  }
  return *this;
}

bool ChildProcess::Start(const std::wstring& application, const std::wstring& commandLine,
                         const std::wstring& workingDirectory) {
  Kill();
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  std::wstring mutableLine = commandLine;
  if (!::CreateProcessW(application.empty() ? nullptr : application.c_str(), &mutableLine[0], nullptr, nullptr, FALSE,
                        0, nullptr, workingDirectory.empty() ? nullptr : workingDirectory.c_str(), &startup, &info)) {
    return false;
  }
  ::CloseHandle(info.hThread);
  process_ = info.hProcess;
  id_ = info.dwProcessId;
  return true;
}

bool ChildProcess::Wait(DWORD timeoutMs) {
  return process_ && ::WaitForSingleObject(process_, timeoutMs) == WAIT_OBJECT_0;
}

DWORD ChildProcess::ExitCode() const {
  DWORD code = 0;
  if (!process_ || !::GetExitCodeProcess(process_, &code)) return static_cast<DWORD>(-1);
  return code;
}

void ChildProcess::Kill() {
  if (!process_) return;
  if (::WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
    ::TerminateProcess(process_, 1);
    ::WaitForSingleObject(process_, 5000);
  }
  ::CloseHandle(process_);
  process_ = nullptr;
  id_ = 0;
}

void PumpFor(DWORD timeoutMs) {
  PumpUntil([] { return false; }, timeoutMs);
}

std::wstring QuoteArg(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
  std::wstring out = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
    } else if (c == L'"') {
      out.append(backslashes * 2 + 1, L'\\');
      backslashes = 0;
    } else {
      backslashes = 0;
    }
    out.push_back(c);
  }
  out.append(backslashes, L'\\');
  out.push_back(L'"');
  return out;
}

std::vector<std::string> ReadLines(const std::wstring& path) {
  std::string bytes;
  std::vector<std::string> lines;
  ReadBytes(path, &bytes);
  for (size_t start = 0, end; (end = bytes.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(bytes.substr(start, end - start));
  }
  return lines;
}

namespace {

// Position just after "key": in line, or npos.
size_t ValueAt(const std::string& line, const std::string& key) {
  const std::string pattern = "\"" + key + "\":";
  const size_t at = line.find(pattern);
  return at == std::string::npos ? at : at + pattern.size();
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
  *value = line.compare(at, 4, "true") == 0;
  return *value || line.compare(at, 5, "false") == 0;
}

bool JsonText(const std::string& line, const std::string& key, std::wstring* value) {
  size_t at = ValueAt(line, key);
  if (at == std::string::npos || at >= line.size() || line[at] != '"') return false;
  std::string utf8;
  std::wstring out;
  static const std::string kEscapes = "n\nr\rt\tb\bf\f";
  for (++at; at < line.size() && line[at] != '"'; ++at) {
    if (line[at] != '\\') {
      utf8 += line[at];
      continue;
    }
    if (++at >= line.size()) return false;
    const size_t escape = kEscapes.find(line[at]);
    if (line[at] == 'u' && at + 4 < line.size()) {
      out += Utf8ToWide(utf8);
      utf8.clear();
      out += static_cast<wchar_t>(std::strtoul(line.substr(at + 1, 4).c_str(), nullptr, 16));
      at += 4;
    } else {
      utf8 += escape != std::string::npos && escape % 2 == 0 ? kEscapes[escape + 1] : line[at];
    }
  }
  *value = out + Utf8ToWide(utf8);
  return true;
}

}  // namespace quillan::harness
