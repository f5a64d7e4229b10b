// QuillanCloseExplorer.exe: run by the installer before it replaces or removes QuillanShellUI.dll.
// Loads the DLL that lies beside this program (the one of its own architecture) and calls its
// CloseExplorerWithCloudBar export, so that no Explorer window still holds the DLL. The installer
// ignores the exit code: 0 when the export ran, 1 when the DLL could not be loaded, 2 when it lacks
// the export, 3 when this program's own path is unknown.
#include <windows.h>

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD length = ::GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
    if (length == 0) return 3;
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    if (path.size() >= 32768) return 3;
    path.resize(path.size() * 2);
  }
  size_t slash = path.find_last_of(L'\\');
  if (slash == std::wstring::npos) return 3;
  path.resize(slash + 1);
  path += L"QuillanShellUI.dll";
  // The full path keeps the search order from picking another copy of the DLL.
  HMODULE dll = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!dll) return 1;
  using CloseFunction = int(WINAPI*)();
  auto close = reinterpret_cast<CloseFunction>(
      reinterpret_cast<void*>(::GetProcAddress(dll, "CloseExplorerWithCloudBar")));
  if (!close) return 2;
  close();  // always 0
  ::FreeLibrary(dll);
  return 0;
}
