// Stands in for the host windows of Explorer processes: creates top-level windows of the given class
// names and writes one report line per WM_COPYDATA it receives.
//
//   host_window_helper.exe <report> <ready event> <quit event> pump|hang <class>...
//
// Report lines: "window <handle> <class>" for each window made, then
// "copydata <handle> wparam=<n> code=<n> size=<n> data=<null|set>" for each request. "hang" stops
// answering messages once the windows exist, until the quit event.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

FILE* report = nullptr;

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COPYDATA) {
    const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    std::fprintf(report, "copydata %llx wparam=%llu code=%llu size=%lu data=%s\n",
                 static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(window)),
                 static_cast<unsigned long long>(wParam), static_cast<unsigned long long>(data->dwData),
                 static_cast<unsigned long>(data->cbData), data->lpData ? "set" : "null");
    std::fflush(report);
    return TRUE;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 6) return 2;
  report = _wfopen(argv[1], L"wb");
  HANDLE ready = ::OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[2]);
  HANDLE quit = ::OpenEventW(SYNCHRONIZE, FALSE, argv[3]);
  if (!report || !ready || !quit) return 3;
  bool hang = std::wstring(argv[4]) == L"hang";
  HINSTANCE instance = ::GetModuleHandleW(nullptr);
  for (int i = 5; i < argc; ++i) {
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &WindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = argv[i];
    ::RegisterClassExW(&windowClass);  // a second window of a class finds it registered
    // As the host windows are made: a hidden popup owned by the desktop.
    HWND window = ::CreateWindowExW(0, argv[i], L"", WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0, 0, 0, 0,
                                    ::GetDesktopWindow(), nullptr, instance, nullptr);
    if (!window) return 4;
    std::fprintf(report, "window %llx %ls\n", static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(window)),
                 argv[i]);
  }
  std::fflush(report);
  ::SetEvent(ready);
  if (hang) {
    ::WaitForSingleObject(quit, 60000);
  } else {
    for (;;) {
      DWORD woken = ::MsgWaitForMultipleObjects(1, &quit, FALSE, 60000, QS_ALLINPUT);
      if (woken != WAIT_OBJECT_0 + 1) break;
      MSG msg;
      while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
    }
  }
  std::fclose(report);
  return 0;
}
