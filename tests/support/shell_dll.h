// The DLL under test, from the program folder: loaded into this process, or registered by regsvr32.
#pragma once

#include <objbase.h>
#include <windows.h>

#include <string>

namespace quillan::test {

class ShellDll {
 public:
  ShellDll();
  ~ShellDll();
  ShellDll(const ShellDll&) = delete;
  ShellDll& operator=(const ShellDll&) = delete;

  static std::wstring Path();
  bool loaded() const { return module_ && getClassObject && canUnloadNow && closeExplorerWithCloudBar; }

  HRESULT(WINAPI* getClassObject)(REFCLSID, REFIID, void**) = nullptr;
  HRESULT(WINAPI* canUnloadNow)() = nullptr;
  int(WINAPI* closeExplorerWithCloudBar)() = nullptr;

 private:
  HMODULE module_ = nullptr;
};

// Runs regsvr32 /s with the arguments and the DLL's path; its exit code (0 is success).
DWORD RunRegsvr32(const std::wstring& arguments);

}  // namespace quillan::test
