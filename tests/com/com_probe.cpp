// Loads QuillanShellUI.DLL and calls its exports as the command line says, writing one line per call
// ("<call> 0x<HRESULT>") to a report file. Copied under other names (IEXPLORE.EXE) by the tests to
// see how the DLL treats the process it is loaded into.
//
//   com_probe.exe <dll> <report> <call>...
//   calls: class:<CLSID>:<IID>  class-null:<CLSID>  register  unregister  install:<0|1>:<command line>
//          install-null:<0|1>  canunload
#include <objbase.h>
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

using GetClassObjectFunction = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
using NoArgumentFunction = HRESULT(WINAPI*)();
using InstallFunction = HRESULT(WINAPI*)(BOOL, LPCWSTR);

bool ParseGuid(const std::wstring& text, GUID* guid) {
  return SUCCEEDED(::CLSIDFromString(text.c_str(), guid));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  HMODULE dll = ::LoadLibraryW(argv[1]);
  FILE* report = _wfopen(argv[2], L"wb");
  if (!report) return 3;
  if (!dll) {
    std::fprintf(report, "load failed %lu\n", ::GetLastError());
    std::fclose(report);
    return 4;
  }
  auto getClassObject = reinterpret_cast<GetClassObjectFunction>(
      reinterpret_cast<void*>(::GetProcAddress(dll, "DllGetClassObject")));
  auto registerServer = reinterpret_cast<NoArgumentFunction>(
      reinterpret_cast<void*>(::GetProcAddress(dll, "DllRegisterServer")));
  auto unregisterServer = reinterpret_cast<NoArgumentFunction>(
      reinterpret_cast<void*>(::GetProcAddress(dll, "DllUnregisterServer")));
  auto canUnloadNow = reinterpret_cast<NoArgumentFunction>(
      reinterpret_cast<void*>(::GetProcAddress(dll, "DllCanUnloadNow")));
  auto install = reinterpret_cast<InstallFunction>(reinterpret_cast<void*>(::GetProcAddress(dll, "DllInstall")));
  if (!getClassObject || !registerServer || !unregisterServer || !canUnloadNow || !install) return 5;

  for (int i = 3; i < argc; ++i) {
    std::wstring call = argv[i];
    HRESULT hr = E_INVALIDARG;
    size_t colon = call.find(L':');
    std::wstring name = call.substr(0, colon);
    std::wstring rest = colon == std::wstring::npos ? std::wstring() : call.substr(colon + 1);
    if (name == L"class") {
      size_t second = rest.find(L':');
      GUID clsid;
      GUID iid;
      if (second != std::wstring::npos && ParseGuid(rest.substr(0, second), &clsid) &&
          ParseGuid(rest.substr(second + 1), &iid)) {
        IUnknown* object = reinterpret_cast<IUnknown*>(1);  // must come back null or valid
        hr = getClassObject(clsid, iid, reinterpret_cast<void**>(&object));
        if (SUCCEEDED(hr) && object) {
          object->Release();
        } else if (object) {
          std::fprintf(report, "out-not-null ");
        }
      }
    } else if (name == L"class-null") {
      GUID clsid;
      if (ParseGuid(rest, &clsid)) hr = getClassObject(clsid, IID_IClassFactory, nullptr);
    } else if (name == L"register") {
      hr = registerServer();
    } else if (name == L"unregister") {
      hr = unregisterServer();
    } else if (name == L"install" && rest.size() >= 2) {
      hr = install(rest[0] == L'1', rest.substr(2).c_str());
    } else if (name == L"install-null" && !rest.empty()) {
      hr = install(rest[0] == L'1', nullptr);
    } else if (name == L"canunload") {
      hr = canUnloadNow();
    }
    std::fprintf(report, "%ls 0x%08lX\n", name.c_str(), static_cast<unsigned long>(hr));
  }
  std::fclose(report);
  return 0;
}
