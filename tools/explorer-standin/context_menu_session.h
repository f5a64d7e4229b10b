// One context menu shown the way Explorer shows it: the handler is created, initialised with the
// selection (a CF_HDROP data object) or the folder of a background menu, asked to add its items to
// a popup menu, and later asked to run a command. The menu is printed item by item.
#pragma once

#include <shobjidl.h>
#include <windows.h>

#include <string>
#include <vector>

#include "base/com_ptr.h"
#include "base/handle.h"
#include "class_source.h"

namespace quillan::standin {

struct MenuRequest {
  std::vector<std::wstring> paths;  // the selection, full paths; empty for a background menu
  std::wstring backgroundFolder;    // the folder of a background menu
  UINT firstId = 100;               // idCmdFirst of the first handler
  UINT lastId = 0x7FFF;
  int indexMenu = -1;               // where the handlers insert; -1: after the prefilled items
  UINT flags = CMF_NORMAL;
  int prefill = 0;                  // items of Explorer's own put in the menu first
  bool marker = false;              // one prefilled item carries the handler's marker as its item data
  int handlers = 1;                 // handler objects run on the same menu, as for Directory and Folder
  bool commandStrings = true;       // ask each handler item for its verb and help text
};

class ContextMenuSession {
 public:
  ContextMenuSession(const ClassSource& source, CLSID clsid, HWND owner, int frameId);
  ~ContextMenuSession();
  ContextMenuSession(const ContextMenuSession&) = delete;
  ContextMenuSession& operator=(const ContextMenuSession&) = delete;

  // Builds and prints the menu; returns the number of top-level items.
  int Build(const MenuRequest& request);

  // Runs a command through the handler that owns a menu id; false when no handler owns it.
  bool InvokeId(UINT id, bool plain, HRESULT* result, int* handler, UINT* offset);
  // Runs a command offset or an ANSI verb (converted with the ANSI code page) on handler `handler`.
  bool InvokeOffset(int handler, UINT offset, bool plain, HRESULT* result);
  bool InvokeVerb(int handler, const std::wstring& verb, bool plain, HRESULT* result);

  HMENU menu() const { return menu_.get(); }
  size_t HandlerCount() const { return handlers_.size(); }

 private:
  struct Handler {
    ComPtr<IContextMenu> menu;
    HRESULT create = E_FAIL;
    HRESULT init = E_FAIL;
    HRESULT query = E_FAIL;
    bool queried = false;
    UINT first = 0;
    UINT used = 0;
  };

  HRESULT Initialize(IShellExtInit* init, const MenuRequest& request);
  HRESULT Invoke(int handler, LPCSTR verbA, LPCWSTR verbW, bool plain);
  void PrintItems(HMENU menu, int level, bool commandStrings);

  const ClassSource& source_;
  CLSID clsid_;
  HWND owner_;
  int frameId_;
  std::wstring folder_;
  std::vector<Handler> handlers_;
  UniqueMenu menu_;
};

}  // namespace quillan::standin
