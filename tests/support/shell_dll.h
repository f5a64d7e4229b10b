// The DLL under test, from the program folder: loaded into this process, or registered by regsvr32.
#pragma once

#include <objbase.h>
#include <windows.h>

#include <string>

namespace quillan::test {

// A GUID written as the registry writes it, "{...}".
inline GUID Guid(const wchar_t* text) {
  GUID guid = GUID_NULL;
  ::CLSIDFromString(text, &guid);
  return guid;
}
// The band, the menu handler, and the interface whose IID is the proxy/stub's class id.
inline const CLSID kBandClsid = Guid(L"{20B497C6-62FD-482A-9290-BD1BBEF85146}");
inline const CLSID kMenuClsid = Guid(L"{8E4B2A8F-956F-47F1-A069-ED7F1A2DF6CF}");
inline const IID kShellContextMenuIid = Guid(L"{E3439D78-72E2-4D3F-9AF4-5413379A4E81}");

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
