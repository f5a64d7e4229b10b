// The context-menu handler as Explorer drives it, for the menu tests: created through the built DLL's
// class object, initialised with a CF_HDROP selection or a folder's item list, its menu read back as
// one line of text. A folder tree with a sync folder and the desktop stand-in serving its pipes.
#pragma once

#include <objbase.h>
#include <shlobj.h>
#include <windows.h>

#include <string>
#include <vector>

#include "base/com_ptr.h"
#include "base/handle.h"
#include "desktop_app_standin.h"
#include "test_support.h"

namespace quillan::test {

// Item data of the handler's items.
inline constexpr ULONG_PTR kItemMarker = 0x5549434D;

// Creates handlers from BinDir()\QuillanShellUI.dll's DllGetClassObject.
class MenuHandlerSource {
 public:
  MenuHandlerSource();
  ~MenuHandlerSource();
  MenuHandlerSource(const MenuHandlerSource&) = delete;
  MenuHandlerSource& operator=(const MenuHandlerSource&) = delete;

  bool loaded() const { return static_cast<bool>(factory_); }
  ComPtr<IContextMenu> Create() const;

 private:
  HMODULE module_ = nullptr;
  ComPtr<IClassFactory> factory_;
};

HRESULT InitializeSelection(IContextMenu* handler, const std::vector<std::wstring>& paths);
// A background menu: the folder's item list only (a null folder gives no list at all).
HRESULT InitializeBackground(IContextMenu* handler, const std::wstring& folder);
HRESULT InitializeBackground(IContextMenu* handler, PCIDLIST_ABSOLUTE folder);

// InvokeCommand with a command offset, or with a verb passed in the ANSI code page.
HRESULT InvokeOffset(IContextMenu* handler, UINT offset);
HRESULT InvokeVerb(IContextMenu* handler, const std::wstring& verb);

// A popup menu with `prefill` items of Explorer's own ("x1", "x2"...; ids 1, 2...).
UniqueMenu PrefilledMenu(int prefill);

// The menu as text, top to bottom, items joined by " | ": "-" for a separator with id 1; an item of
// the handler (its marker set) as "label#offset" with offset = id - first, "(WxH)" when it carries a
// bitmap, "!state" or "!checkmarks" when its state is not 0 or its two check bitmaps differ; an item
// of Explorer's own by its label; a submenu as "[...]" after its parent.
std::wstring DescribeMenu(HMENU menu, UINT first);

// A sync folder with files and a folder in it, and folders beside it:
//   <temp>\Sync\a.txt (engine state 3), b.txt, c.txt (state 2), Docs\d.txt
//   <temp>\SyncOld\y.txt, <temp>\Other\x.txt
struct SyncTree {
  SyncTree();
  TempDir dir;
  std::wstring root;
  std::wstring In(const std::wstring& relative) const { return root + L"\\" + relative; }
  std::wstring Beside(const std::wstring& relative) const { return dir / relative; }
  // The stand-in's engine: the UI host's pipe naming root, a.txt in state 3, everything else 2.
  std::wstring Scenario() const;
};

// The test's own top-level window under the mouse cursor: the window the user right-clicked in.
class CursorWindow {
 public:
  CursorWindow();
  HWND hwnd() const { return window_.get(); }

 private:
  UniqueWindow window_;
};

}  // namespace quillan::test
