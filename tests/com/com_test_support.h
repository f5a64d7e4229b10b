// Helpers of the COM server tests: the DLL's exports loaded into the test, an outer object for
// aggregation, registry reading, and regsvr32.
#pragma once

#include <objbase.h>
#include <windows.h>

#include <string>
#include <vector>

namespace quillan::test {

// The DLL under test, from the program folder, loaded into this process.
class ShellDll {
 public:
  ShellDll();
  ~ShellDll();
  ShellDll(const ShellDll&) = delete;
  ShellDll& operator=(const ShellDll&) = delete;

  static std::wstring Path();
  bool loaded() const;

  HRESULT(WINAPI* getClassObject)(REFCLSID, REFIID, void**) = nullptr;
  HRESULT(WINAPI* canUnloadNow)() = nullptr;
  int(WINAPI* closeExplorerWithCloudBar)() = nullptr;

 private:
  HMODULE module_ = nullptr;
};

bool KeyExists(HKEY root, const std::wstring& path);
// A REG_SZ value (name empty: the default value); false when the key or value is missing or not text.
bool ReadText(HKEY root, const std::wstring& path, const std::wstring& name, std::wstring* value);
// Every key and value below path, one line each ("key" or "key|name|type|data"), sorted; empty when
// the key does not exist.
std::vector<std::wstring> Snapshot(HKEY root, const std::wstring& path);
// Creates the key (and its parents) when missing.
bool EnsureKey(HKEY root, const std::wstring& path);
// Deletes the key with everything below it.
void DeleteTree(HKEY root, const std::wstring& path);

// Runs regsvr32 /s with the arguments and the DLL's path; its exit code (0 is success).
DWORD RunRegsvr32(const std::wstring& arguments);

}  // namespace quillan::test
