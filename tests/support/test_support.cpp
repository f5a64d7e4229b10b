#include "test_support.h"

#include <shlwapi.h>

#include "base/handle.h"
#include "base/text.h"

namespace quillan::test {

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

}  // namespace quillan::test
