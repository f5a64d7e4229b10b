// The context-menu handler Explorer creates for every context menu of files, folders and folder
// backgrounds. Inside the user's sync folder it adds the "Orrin" submenu, outside it the single item
// "同步到Orrin"; each command becomes one record for the desktop application's main window. It offers
// nothing while the desktop application's main window is missing or its sync engine does not name the
// sync folder.
//
// One object serves one menu: created (images loaded), Initialize (selection or background folder),
// QueryContextMenu (items inserted, commandTable filled), perhaps InvokeCommand, then released.
#pragma once

#include <windows.h>

#include <shellapi.h>
#include <shlobj.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "base/com_object.h"
#include "base/handle.h"

namespace quillan {

// Identifies one of the handler's items; inside the submenu it is also the item's command offset.
using MenuItemKey = int32_t;

class CShellContextMenu final : public ComObject<CShellContextMenu, IShellExtInit, IContextMenu> {
 public:
  static constexpr MenuItemKey ItemRoot = 2;         // "Orrin", the submenu's parent
  static constexpr MenuItemKey ItemShare = 3;        // "分享"
  static constexpr MenuItemKey ItemHistory = 4;      // "历史版本"
  static constexpr MenuItemKey ItemWebVersion = 5;   // "访问网页版"
  static constexpr MenuItemKey ItemRecycleBin = 6;   // "进入云盘回收站"
  static constexpr MenuItemKey ItemSyncTo = 7;       // "同步到Orrin", outside the sync folder, offset 0
  static constexpr MenuItemKey ItemUploadFirst = 8;  // "优先上传到云盘"

  // Item data of every item the handler inserts (the bytes "MCIU"): how a second handler object on
  // the same menu sees that the items are already there.
  static constexpr ULONG_PTR ItemMarker = 0x5549434D;

  // itemMask bits: which submenu items the selection may get.
  static constexpr uint32_t kMaskUploadFirst = 0x01;
  static constexpr uint32_t kMaskShare = 0x02;
  static constexpr uint32_t kMaskHistory = 0x04;
  static constexpr uint32_t kMaskWebVersion = 0x08;
  static constexpr uint32_t kMaskRecycleBin = 0x10;

  // The engine's file state that offers "优先上传到云盘".
  static constexpr uint32_t kUploadFirstState = 3;

  // The item's label; also its verb and help text.
  static const wchar_t* Label(MenuItemKey key) noexcept;

  CShellContextMenu() = default;
  ~CShellContextMenu() override;
  HRESULT FinalConstruct();

  // IShellExtInit
  HRESULT STDMETHODCALLTYPE Initialize(PCIDLIST_ABSOLUTE pidlFolder, IDataObject* pdtobj, HKEY hkeyProgID) override;
  // IContextMenu
  HRESULT STDMETHODCALLTYPE QueryContextMenu(HMENU hmenu, UINT indexMenu, UINT idCmdFirst, UINT idCmdLast,
                                             UINT uFlags) override;
  HRESULT STDMETHODCALLTYPE InvokeCommand(CMINVOKECOMMANDINFO* pici) override;
  HRESULT STDMETHODCALLTYPE GetCommandString(UINT_PTR idCmd, UINT uType, UINT* pReserved, CHAR* pszName,
                                             UINT cchMax) override;

 private:
  struct MenuItem {
    std::wstring label;
    UniqueBitmap bitmap;  // null for items without an image
  };

  void LoadMenuItems();
  void FreeMenuItems() noexcept;
  HRESULT InitializeSelection(PCIDLIST_ABSOLUTE pidlFolder, IDataObject* pdtobj);
  HRESULT InitializeFromDataObject(IDataObject* pdtobj);
  bool CollectSelection(HDROP drop);
  bool IsInSyncFolder() const;
  HRESULT QueryItems(HMENU hmenu, UINT indexMenu, UINT idCmdFirst, UINT idCmdLast, UINT uFlags);
  HRESULT BuildSubmenu(HMENU hmenu, UINT indexMenu);
  // Inserts an item of itemTable with the command offset `offset` (the key itself, but for the outside
  // item); false when it is not in the table or the menu refused it.
  bool InsertTableItem(HMENU menu, UINT position, MenuItemKey key, UINT offset, HMENU submenu = nullptr);
  bool InsertItem(HMENU menu, UINT position, MenuItemKey key, UINT offset, const std::wstring& label,
                  HBITMAP bitmap, HMENU submenu);
  // Whether the command id firstCommandId + offset lies within Explorer's range.
  bool Fits(UINT offset) const noexcept;
  static bool InsertSeparator(HMENU menu, UINT position) noexcept;
  bool HasOurItems(HMENU hmenu) const noexcept;
  HRESULT RunCommand(MenuItemKey key) const;

  std::map<MenuItemKey, MenuItem> itemTable;
  std::map<uint32_t, MenuItemKey> commandTable;
  std::vector<std::wstring> selectedPaths;
  std::wstring backgroundFolder;
  UINT firstCommandId = 0;
  UINT lastCommandId = 0;  // recorded for the reader; Explorer's own bound, never enforced
  UINT highestCommandId = 0;
  uint32_t itemMask = 0;
  std::wstring syncRoot;
  HWND ownerWindow = nullptr;
};

}  // namespace quillan
