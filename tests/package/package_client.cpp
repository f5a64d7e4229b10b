// The package test's Windows side, as Explorer would meet the installed DLL:
//   package_client.exe create <clsid>...        CoCreateInstance of each class from the registry; one
//                                               line "<clsid> <hresult> <path of the DLL that served it>"
//   package_client.exe host <report> <class>    a top-level window of that class until a file
//                                               <report>.stop appears; "ready", then
//                                               "copydata <code> <size>" per request
#include <objbase.h>
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

FILE* report = nullptr;

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_COPYDATA) return ::DefWindowProcW(window, message, wParam, lParam);
  const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
  std::fprintf(report, "copydata %llu %lu\n", static_cast<unsigned long long>(data->dwData),
               static_cast<unsigned long>(data->cbData));
  std::fflush(report);
  return TRUE;
}

int Host(const wchar_t* path, const wchar_t* className) {
  report = _wfopen(path, L"w");
  if (!report) return 3;
  WNDCLASSEXW windowClass = {sizeof windowClass};
  windowClass.lpfnWndProc = &HostProc;
  windowClass.hInstance = ::GetModuleHandleW(nullptr);
  windowClass.lpszClassName = className;
  if (!::RegisterClassExW(&windowClass)) return 4;
  if (!::CreateWindowExW(0, className, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, windowClass.hInstance, nullptr))
    return 4;
  std::fprintf(report, "ready\n");
  std::fflush(report);
  std::wstring stop = std::wstring(path) + L".stop";
  while (::GetFileAttributesW(stop.c_str()) == INVALID_FILE_ATTRIBUTES) {
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
  }
  std::fclose(report);
  return 0;
}

int Create(int count, wchar_t** clsids) {
  if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 3;
  for (int i = 0; i < count; ++i) {
    CLSID clsid = CLSID_NULL;
    if (FAILED(::CLSIDFromString(clsids[i], &clsid))) return 4;
    IUnknown* object = nullptr;
    HRESULT hr = ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, reinterpret_cast<void**>(&object));
    wchar_t module[MAX_PATH] = L"-";
    if (HMODULE dll = ::GetModuleHandleW(L"QuillanShellUI.dll")) ::GetModuleFileNameW(dll, module, MAX_PATH);
    std::printf("%ls %08lx %ls\n", clsids[i], static_cast<unsigned long>(hr), module);
    if (object) object->Release();
  }
  ::CoUninitialize();
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc >= 3 && std::wstring(argv[1]) == L"create") return Create(argc - 2, argv + 2);
  if (argc == 4 && std::wstring(argv[1]) == L"host") return Host(argv[2], argv[3]);
  return 2;
}
