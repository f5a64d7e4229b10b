// The module the system's code is linked into: the DLL in production, the test program in tests.
#pragma once

#include <windows.h>

#include <string>

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace quillan {

inline HINSTANCE ThisModule() noexcept { return reinterpret_cast<HINSTANCE>(&__ImageBase); }

// A function of a module, by name or by ordinal (MAKEINTRESOURCEA), as the type it is called through;
// null when the module or the function is missing.
template <typename Function>
Function ProcAddress(HMODULE module, const char* name) noexcept {
  return module ? reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name))) : nullptr;
}

// The full path of a module's file (null: the process's program); empty when it cannot be had or
// needs capacity characters or more.
inline std::wstring ModuleFileName(HMODULE module, DWORD capacity = 32768) {
  std::wstring path(capacity, L'\0');
  const DWORD length = ::GetModuleFileNameW(module, &path[0], capacity);
  if (length == 0 || length >= capacity) return std::wstring();
  path.resize(length);
  return path;
}

}  // namespace quillan
