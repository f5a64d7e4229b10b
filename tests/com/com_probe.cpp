// Loads QuillanShellUI.DLL and asks DllGetClassObject for each class id on the command line (the
// interface its class object must answer: IClassFactory, or IPSFactoryBuffer for the proxy/stub),
// then once more for the first with no out pointer. Writes the results as hexadecimal HRESULTs on one
// line. The tests run it under other names (IEXPLORE.EXE) to see how the DLL treats its host process.
//
//   com_probe.exe <dll> <report> <clsid>...
#include <objbase.h>
#include <windows.h>

#include <cstdio>

int wmain(int argc, wchar_t** argv) {
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
