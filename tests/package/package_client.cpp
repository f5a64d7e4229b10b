// The package test's Windows side, as Explorer would meet the installed DLL:
//   package_client.exe create <clsid>...        CoCreateInstance of each class from the registry; one
//                                               line "<clsid> <hresult> <path of the DLL that served it>"
//   package_client.exe host <report> <class>    a top-level window of that class until a file
//                                               <report>.stop appears; "ready", then
//                                               "copydata <code> <size>" per request
//   package_client.exe registry <report> <32|64> <key>...   each key under HKEY_LOCAL_MACHINE with its
//                                               subkeys, in that registry view, into the report in UTF-8:
//                                               "key <path>", then "value <name>=<data>" per value
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

void WriteLine(const std::wstring& line) {
  std::string text(line.size() * 3 + 1, '\0');
  int length = ::WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), &text[0],
                                     static_cast<int>(text.size()), nullptr, nullptr);
  text.resize(length > 0 ? length : 0);
  std::fprintf(report, "%s\n", text.c_str());
}

void Dump(const std::wstring& path, REGSAM view) {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return;
  WriteLine(L"key " + path);
  wchar_t name[16384];
  BYTE data[65536];
  for (DWORD i = 0;; ++i) {
    DWORD nameLength = 16384, size = sizeof data - sizeof(wchar_t), type = 0;
    if (::RegEnumValueW(key, i, name, &nameLength, nullptr, &type, data, &size) != ERROR_SUCCESS) break;
    data[size] = data[size + 1] = 0;
    WriteLine(std::wstring(L"value ") + name + L"=" +
              (type == REG_SZ ? std::wstring(reinterpret_cast<wchar_t*>(data))
                              : L"type " + std::to_wstring(type) + L", " + std::to_wstring(size) + L" bytes"));
  }
  for (DWORD i = 0;; ++i) {
    DWORD nameLength = 16384;
    if (::RegEnumKeyExW(key, i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    Dump(path + L"\\" + name, view);
  }
  ::RegCloseKey(key);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc >= 3 && std::wstring(argv[1]) == L"create") return Create(argc - 2, argv + 2);
  if (argc == 4 && std::wstring(argv[1]) == L"host") return Host(argv[2], argv[3]);
  if (argc >= 5 && std::wstring(argv[1]) == L"registry") {
    report = _wfopen(argv[2], L"wb");
    if (!report) return 3;
    REGSAM view = std::wstring(argv[3]) == L"32" ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
    for (int i = 4; i < argc; ++i) Dump(argv[i], view);
    std::fclose(report);
    return 0;
  }
  return 2;
}
