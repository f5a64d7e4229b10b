// Run by the tests under another name or a claimed Windows version.
//
//   probe.exe <dll> <report> <clsid>...: loads QuillanShellUI.DLL and asks DllGetClassObject for each
//     class id (the interface its class object must answer: IClassFactory, or IPSFactoryBuffer for the
//     proxy/stub), then once more for the first with no out pointer; writes the results as hexadecimal
//     HRESULTs on one line of the report.
//   probe.exe version: exits with the cached version answers (bit 0 IsVistaOrLater, bit 1 IsXpOr2003)
//     and the width of the share image the loaders pick (from bit 8).
#include <objbase.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "ui/images.h"
#include "ui/system_version.h"

int Version() {
  DWORD code = (quillan::IsVistaOrLater() ? 1u : 0u) | (quillan::IsXpOr2003() ? 2u : 0u);
  // Asked twice: the second answer comes from the cache and must agree.
  if (quillan::IsVistaOrLater() != ((code & 1u) != 0) || quillan::IsXpOr2003() != ((code & 2u) != 0)) return 0xFF;
  HBITMAP share = quillan::LoadShareBitmap();
  BITMAP info = {};
  if (share && ::GetObjectW(share, sizeof(info), &info) == sizeof(info)) code |= static_cast<DWORD>(info.bmWidth) << 8;
  if (share) ::DeleteObject(share);
  return static_cast<int>(code);
}

int wmain(int argc, wchar_t** argv) {
  if (argc == 2 && std::wstring(argv[1]) == L"version") return Version();
  if (argc < 4) return 2;
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  FILE* report = _wfopen(argv[2], L"wb");
  HMODULE dll = ::LoadLibraryW(argv[1]);
  using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
  auto getClassObject =
      dll ? reinterpret_cast<GetClassObject>(reinterpret_cast<void*>(::GetProcAddress(dll, "DllGetClassObject")))
          : nullptr;
  if (!report || !getClassObject) return 3;
  CLSID first = CLSID_NULL;
  for (int i = 3; i < argc; ++i) {
    CLSID clsid = CLSID_NULL;
    if (FAILED(::CLSIDFromString(argv[i], &clsid))) return 4;
    if (i == 3) first = clsid;
    const IID& iid = i == argc - 1 ? IID_IPSFactoryBuffer : IID_IClassFactory;
    IUnknown* object = reinterpret_cast<IUnknown*>(1);  // must come back valid, or null
    HRESULT hr = getClassObject(clsid, iid, reinterpret_cast<void**>(&object));
    IUnknown* untouched = reinterpret_cast<IUnknown*>(1);
    bool valid = SUCCEEDED(hr) ? object != nullptr && object != untouched : object == nullptr;
    if (SUCCEEDED(hr) && valid) object->Release();
    if (!valid) hr = E_UNEXPECTED;
    std::fprintf(report, "%lx ", static_cast<unsigned long>(hr));
  }
  std::fprintf(report, "%lx\n", static_cast<unsigned long>(getClassObject(first, IID_IClassFactory, nullptr)));
  std::fclose(report);
  return 0;
}
