// The context-menu handler Explorer creates for every context menu of files, folders and folder
// backgrounds.
//
// To be completed: this is the starting point the module's class map creates. It refuses every
// selection and adds no items; the selection capture, the menu and the commands are still to come.
// The class name, this file and CreateInstance (from ComObject) stay as they are.
#pragma once

#include <shlobj.h>
#include <windows.h>

#include "base/com_object.h"

namespace quillan {

class CShellContextMenu final : public ComObject<CShellContextMenu, IShellExtInit, IContextMenu> {
 public:
  // IShellExtInit
  HRESULT STDMETHODCALLTYPE Initialize(PCIDLIST_ABSOLUTE folder, IDataObject* data, HKEY progId) override;
  // IContextMenu
  HRESULT STDMETHODCALLTYPE QueryContextMenu(HMENU menu, UINT index, UINT firstCommandId, UINT lastCommandId,
                                             UINT flags) override;
  HRESULT STDMETHODCALLTYPE InvokeCommand(CMINVOKECOMMANDINFO* info) override;
  HRESULT STDMETHODCALLTYPE GetCommandString(UINT_PTR command, UINT type, UINT* reserved, CHAR* name,
                                             UINT nameChars) override;
};

}  // namespace quillan
