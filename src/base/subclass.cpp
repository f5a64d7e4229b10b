#include "base/subclass.h"

#include "base/module.h"

namespace quillan {
namespace {

using SetFunction = BOOL(WINAPI*)(HWND, SUBCLASSPROC, UINT_PTR, DWORD_PTR);
using RemoveFunction = BOOL(WINAPI*)(HWND, SUBCLASSPROC, UINT_PTR);
using DefFunction = LRESULT(WINAPI*)(HWND, UINT, WPARAM, LPARAM);

// The ordinals comctl32 5.8 exports them under (and 6 keeps).
constexpr WORD kSetOrdinal = 410;
constexpr WORD kRemoveOrdinal = 412;
constexpr WORD kDefOrdinal = 413;

struct SubclassFunctions {
  SetFunction set = nullptr;
  RemoveFunction remove = nullptr;
  DefFunction def = nullptr;
};

template <typename Function>
Function Lookup(HMODULE module, const char* name, WORD ordinal) {
  const Function function = ProcAddress<Function>(module, name);
  return function ? function : ProcAddress<Function>(module, MAKEINTRESOURCEA(ordinal));
}

// Looked up once, all three from the same comctl32, the one the caller's activation context names.
const SubclassFunctions& Functions() {
  static const SubclassFunctions functions = [] {
    SubclassFunctions found;
    // Never freed: subclasses installed through it may outlive any caller, and freeing a library while
    // this module unloads is not allowed.
    HMODULE comctl32 = ::LoadLibraryW(L"comctl32.dll");
    if (!comctl32) return found;
    auto set = Lookup<SetFunction>(comctl32, "SetWindowSubclass", kSetOrdinal);
    auto remove = Lookup<RemoveFunction>(comctl32, "RemoveWindowSubclass", kRemoveOrdinal);
    auto def = Lookup<DefFunction>(comctl32, "DefSubclassProc", kDefOrdinal);
    // Only as a set: a subclass that could not be removed or passed on must not be installed.
    if (set && remove && def) {
      found.set = set;
      found.remove = remove;
      found.def = def;
    }
    return found;
  }();
  return functions;
}

}  // namespace

bool SetSubclass(HWND window, SUBCLASSPROC procedure, UINT_PTR id, DWORD_PTR refData) noexcept {
  const SubclassFunctions& functions = Functions();
  return functions.set && functions.set(window, procedure, id, refData) != FALSE;
}

bool RemoveSubclass(HWND window, SUBCLASSPROC procedure, UINT_PTR id) noexcept {
  const SubclassFunctions& functions = Functions();
  return functions.remove && functions.remove(window, procedure, id) != FALSE;
}

LRESULT DefSubclass(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  const SubclassFunctions& functions = Functions();
  if (functions.def) return functions.def(window, message, wParam, lParam);
  return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace quillan
