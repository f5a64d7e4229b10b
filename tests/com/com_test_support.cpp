#include "com_test_support.h"

#include <shlwapi.h>

#include <algorithm>

#include "base/handle.h"
#include "test_support.h"

namespace quillan::test {

namespace {

template <typename Function>
Function Export(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

void SnapshotInto(HKEY key, const std::wstring& path, std::vector<std::wstring>* lines) {
  lines->push_back(path);
  for (DWORD index = 0;; ++index) {
    wchar_t name[16384];
    DWORD nameChars = 16384;
    BYTE data[8192];
    DWORD dataBytes = sizeof data;
    DWORD type = 0;
    if (::RegEnumValueW(key, index, name, &nameChars, nullptr, &type, data, &dataBytes) != ERROR_SUCCESS) break;
    std::wstring text;
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
      text.assign(reinterpret_cast<const wchar_t*>(data), dataBytes / sizeof(wchar_t));
      while (!text.empty() && text.back() == 0) text.pop_back();
    } else {
      for (DWORD i = 0; i < dataBytes; ++i) text += std::to_wstring(data[i]) + L",";
    }
    lines->push_back(path + L"|" + name + L"|" + std::to_wstring(type) + L"|" + text);
  }
  for (DWORD index = 0;; ++index) {
    wchar_t name[256];
    DWORD nameChars = 256;
    if (::RegEnumKeyExW(key, index, name, &nameChars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    UniqueKey child;
    if (::RegOpenKeyExW(key, name, 0, KEY_READ, child.put()) == ERROR_SUCCESS) {
      SnapshotInto(child.get(), path + L"\\" + name, lines);
    }
  }
}

}  // namespace

ShellDll::ShellDll() : module_(::LoadLibraryW(Path().c_str())) {
  if (!module_) return;
  getClassObject = Export<decltype(getClassObject)>(module_, "DllGetClassObject");
  canUnloadNow = Export<decltype(canUnloadNow)>(module_, "DllCanUnloadNow");
  closeExplorerWithCloudBar = Export<decltype(closeExplorerWithCloudBar)>(module_, "CloseExplorerWithCloudBar");
}

ShellDll::~ShellDll() {
  if (module_) ::FreeLibrary(module_);
}

std::wstring ShellDll::Path() { return BinDir() + L"\\QuillanShellUI.dll"; }

bool ShellDll::loaded() const { return module_ && getClassObject && canUnloadNow && closeExplorerWithCloudBar; }

bool KeyExists(HKEY root, const std::wstring& path) {
  UniqueKey key;
  return ::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

bool ReadText(HKEY root, const std::wstring& path, const std::wstring& name, std::wstring* value) {
  wchar_t data[4096] = {};
  DWORD bytes = sizeof data - sizeof(wchar_t);
  DWORD type = 0;
  if (::SHGetValueW(root, path.c_str(), name.empty() ? nullptr : name.c_str(), &type, data, &bytes) != ERROR_SUCCESS ||
      type != REG_SZ) {
    return false;
  }
  *value = data;
  return true;
}

std::vector<std::wstring> Snapshot(HKEY root, const std::wstring& path) {
  std::vector<std::wstring> lines;
  UniqueKey key;
  if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return lines;
  SnapshotInto(key.get(), path, &lines);
  std::sort(lines.begin(), lines.end());
  return lines;
}

bool EnsureKey(HKEY root, const std::wstring& path) {
  UniqueKey key;
  return ::RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, key.put(), nullptr) ==
         ERROR_SUCCESS;
}

void DeleteTree(HKEY root, const std::wstring& path) { ::SHDeleteKeyW(root, path.c_str()); }

DWORD RunRegsvr32(const std::wstring& arguments) {
  ChildProcess regsvr32;
  if (!regsvr32.Start(L"", L"regsvr32.exe /s " + arguments + L" " + QuoteArg(ShellDll::Path()))) return 0xFFFFFFFF;
  if (!regsvr32.Wait(60000)) return 0xFFFFFFFE;
  return regsvr32.ExitCode();
}

}  // namespace quillan::test
