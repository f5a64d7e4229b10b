#include "shell_dll.h"

#include "test_support.h"

namespace quillan::test {

namespace {

template <typename Function>
Function Export(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
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

DWORD RunRegsvr32(const std::wstring& arguments) {
  ChildProcess regsvr32;
  if (!regsvr32.Start(L"", L"regsvr32.exe /s " + arguments + L" " + QuoteArg(ShellDll::Path()))) return 0xFFFFFFFF;
  if (!regsvr32.Wait(60000)) return 0xFFFFFFFE;
  return regsvr32.ExitCode();
}

}  // namespace quillan::test
