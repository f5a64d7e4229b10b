#include "menu/shell_context_menu.h"

namespace quillan {

HRESULT STDMETHODCALLTYPE CShellContextMenu::Initialize(PCIDLIST_ABSOLUTE, IDataObject*, HKEY) {
  return E_INVALIDARG;
}

HRESULT STDMETHODCALLTYPE CShellContextMenu::QueryContextMenu(HMENU, UINT, UINT, UINT, UINT) {
  return MAKE_HRESULT(SEVERITY_SUCCESS, FACILITY_NULL, 0);  // no items added
}

HRESULT STDMETHODCALLTYPE CShellContextMenu::InvokeCommand(CMINVOKECOMMANDINFO*) { return E_FAIL; }

HRESULT STDMETHODCALLTYPE CShellContextMenu::GetCommandString(UINT_PTR, UINT, UINT*, CHAR*, UINT) {
  return E_INVALIDARG;
}

}  // namespace quillan
