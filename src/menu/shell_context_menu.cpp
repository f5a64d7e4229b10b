#include "menu/shell_context_menu.h"

#include <shellapi.h>
#include <shlwapi.h>

#include <algorithm>
#include <cwchar>
#include <iterator>
#include <optional>
#include <tuple>
#include <utility>

#include "base/module.h"
#include "base/shell_drop.h"
#include "base/text.h"
#include "ipc/main_window.h"
#include "ipc/pipe_client.h"
#include "ipc/records.h"
#include "resource.h"
#include "ui/images.h"
#include "ui/system_version.h"

namespace quillan {

namespace {

// Every item the handler inserts is described with these; the parent item adds MIIM_SUBMENU.
constexpr UINT kItemMask = MIIM_STATE | MIIM_ID | MIIM_CHECKMARKS | MIIM_DATA | MIIM_STRING;
static_assert(kItemMask == 0x6B, "the item description's mask");
#ifndef _WIN64
static_assert(sizeof(MENUITEMINFOW) == 48, "the item description as 32-bit Explorer reads it");
#endif

// Separators carry this id; Explorer never sends a command for them.
constexpr UINT kSeparatorId = 1;

// A background folder's path is read into a buffer of this many code units.
constexpr size_t kBackgroundPathChars = 1024;

HRESULT ItemsAdded(UINT count) { return MAKE_HRESULT(SEVERITY_SUCCESS, FACILITY_NULL, count); }

// The product icon: a PNG sized for the display on version 6 and later, the 13-pixel bitmap before.
HBITMAP LoadProductIcon(bool vistaOrLater) {
  if (vistaOrLater) return LoadProductBitmap();
  return static_cast<HBITMAP>(::LoadImageW(ThisModule(), MAKEINTRESOURCEW(IDB_PRODUCT_XP), IMAGE_BITMAP, 0, 0, 0));
}

}  // namespace

const wchar_t* CShellContextMenu::Label(MenuItemKey key) noexcept {
  switch (key) {
    case ItemRoot:
      return L"Orrin";
    case ItemShare:
      return L"\x5206\x4EAB";  // 分享
    case ItemHistory:
      return L"\x5386\x53F2\x7248\x672C";  // 历史版本
    case ItemWebVersion:
      return L"\x8BBF\x95EE\x7F51\x9875\x7248";  // 访问网页版
    case ItemRecycleBin:
      return L"\x8FDB\x5165\x4E91\x76D8\x56DE\x6536\x7AD9";  // 进入云盘回收站
    case ItemSyncTo:
      return L"\x540C\x6B65\x5230" L"Orrin";  // 同步到Orrin
    case ItemUploadFirst:
      return L"\x4F18\x5148\x4E0A\x4F20\x5230\x4E91\x76D8";  // 优先上传到云盘
    default:
      return nullptr;
  }
}

CShellContextMenu::~CShellContextMenu() { FreeMenuItems(); }

HRESULT CShellContextMenu::FinalConstruct() {
  LoadMenuItems();
  return S_OK;
}

void CShellContextMenu::LoadMenuItems() {
  const bool vistaOrLater = IsVistaOrLater();
  const auto add = [this](MenuItemKey key, HBITMAP image) {
    UniqueBitmap bitmap(image);  // owned before the table can fail to take it
    MenuItem& item = itemTable[key];
    item.label = Label(key);
    item.bitmap = std::move(bitmap);
  };
  // An image that cannot be loaded leaves its item without one.
  add(ItemRoot, LoadProductIcon(vistaOrLater));
  add(ItemShare, LoadShareBitmap());
  add(ItemHistory, nullptr);
  add(ItemWebVersion, nullptr);
  add(ItemRecycleBin, nullptr);
  add(ItemSyncTo, LoadProductIcon(vistaOrLater));  // a copy of its own: each item owns its bitmap
  add(ItemUploadFirst, LoadUploadBitmap());
}

void CShellContextMenu::FreeMenuItems() noexcept {
  itemTable.clear();  // deletes the bitmaps
  ownerWindow = nullptr;
}

// ---- Initialize

HRESULT STDMETHODCALLTYPE CShellContextMenu::Initialize(PCIDLIST_ABSOLUTE pidlFolder, IDataObject* pdtobj,
                                                        HKEY /*hkeyProgID*/) {
  try {
    return InitializeSelection(pidlFolder, pdtobj);
  } catch (...) {  // out of memory: no menu rather than an exception in Explorer
    return E_INVALIDARG;
  }
}

HRESULT CShellContextMenu::InitializeSelection(PCIDLIST_ABSOLUTE pidlFolder, IDataObject* pdtobj) {
  if (!FindMainWindow()) return E_INVALIDARG;

  syncRoot.clear();
  {
    PipeClient client;
    if (!client.QuerySyncRoot(&syncRoot)) return E_INVALIDARG;
  }
  if (!::PathFileExistsW(syncRoot.c_str()) || !::PathIsDirectoryW(syncRoot.c_str())) {
    syncRoot.clear();
    return E_INVALIDARG;
  }
  // A drive root keeps its backslash.
  std::wstring root = syncRoot;
  ::PathRemoveBackslashW(&root[0]);
  syncRoot = root.c_str();

  // The window the user right-clicked in owns whatever the application shows for the command.
  POINT cursor;
  if (::GetCursorPos(&cursor)) {
    if (HWND under = ::WindowFromPoint(cursor)) {
      if (HWND top = ::GetAncestor(under, GA_ROOT)) ownerWindow = top;
    }
  }

  if (pdtobj) return InitializeFromDataObject(pdtobj);
  if (!pidlFolder) return E_INVALIDARG;

  backgroundFolder.clear();
  wchar_t path[kBackgroundPathChars] = {};
  // Virtual folders have no file-system path: no menu for them.
  if (!::SHGetPathFromIDListW(pidlFolder, path)) path[0] = L'\0';
  if (path[0] == L'\0') return E_INVALIDARG;
  backgroundFolder = path;
  return IsInSyncFolder() ? S_OK : E_INVALIDARG;
}

HRESULT CShellContextMenu::InitializeFromDataObject(IDataObject* pdtobj) {
  LockedDrop drop(pdtobj);
  if (!drop.get()) return E_INVALIDARG;
  return CollectSelection(drop.get()) ? S_OK : E_INVALIDARG;
}

bool CShellContextMenu::CollectSelection(HDROP drop) {
  selectedPaths.clear();
  std::vector<std::wstring> paths;
  if (!DropListPaths(drop, &paths)) return false;  // no list, or no memory for it
  for (const std::wstring& path : paths) {
    if (::PathIsRootW(path.c_str())) return false;  // a drive or share root spoils the whole menu
  }
  selectedPaths = std::move(paths);
  return true;
}

bool CShellContextMenu::IsInSyncFolder() const {
  // Without a sync folder nothing is inside (an empty prefix would match every path).
  if (syncRoot.empty()) return false;
  std::wstring folder;
  if (!selectedPaths.empty()) {
    // The first item decides for the whole selection, by the folder that holds it.
    folder = selectedPaths.front();
    ::PathRemoveFileSpecW(&folder[0]);
    folder.resize(std::wcslen(folder.c_str()));
  } else {
    folder = backgroundFolder;
  }
  if (folder.empty()) return false;
  return ::PathIsPrefixW(syncRoot.c_str(), folder.c_str()) != FALSE;
}

// ---- QueryContextMenu

HRESULT STDMETHODCALLTYPE CShellContextMenu::QueryContextMenu(HMENU hmenu, UINT indexMenu, UINT idCmdFirst,
                                                              UINT idCmdLast, UINT uFlags) {
  try {
    return QueryItems(hmenu, indexMenu, idCmdFirst, idCmdLast, uFlags);
  } catch (...) {
    // Only allocations ahead of the first insertion into Explorer's menu can throw: nothing was added.
    return ItemsAdded(0);
  }
}

HRESULT CShellContextMenu::QueryItems(HMENU hmenu, UINT indexMenu, UINT idCmdFirst, UINT idCmdLast, UINT uFlags) {
  if (uFlags & CMF_DEFAULTONLY) return ItemsAdded(0);
  // Registered for both Directory and Folder, the handler may be asked twice for one folder's menu.
  if (HasOurItems(hmenu)) return ItemsAdded(0);

  firstCommandId = idCmdFirst;
  lastCommandId = idCmdLast;
  highestCommandId = 0;
  commandTable.clear();

  if (selectedPaths.empty()) {
    itemMask = kMaskWebVersion | kMaskRecycleBin;
  } else {
    itemMask = kMaskUploadFirst | kMaskShare | kMaskWebVersion | kMaskRecycleBin;
    // A path that does not exist counts as a file here.
    if (selectedPaths.size() == 1 && !::PathIsDirectoryW(selectedPaths.front().c_str())) itemMask |= kMaskHistory;
  }

  if (IsInSyncFolder()) return BuildSubmenu(hmenu, indexMenu);

  // The ids above idCmdLast belong to other handlers.
  if (!Fits(0)) return ItemsAdded(0);
  const bool inserted = InsertTableItem(hmenu, indexMenu, ItemSyncTo, 0);
  InsertSeparator(hmenu, indexMenu + 1);  // also when the item did not go in
  return ItemsAdded(inserted ? 1 : 0);
}

bool CShellContextMenu::Fits(UINT offset) const noexcept {
  return static_cast<uint64_t>(firstCommandId) + offset <= lastCommandId;
}

bool CShellContextMenu::HasOurItems(HMENU hmenu) const noexcept {
  const int count = ::GetMenuItemCount(hmenu);
  for (int position = 0; position < count; ++position) {
    MENUITEMINFOW info = {};
    info.cbSize = sizeof info;
    info.fMask = MIIM_DATA;
    if (::GetMenuItemInfoW(hmenu, static_cast<UINT>(position), TRUE, &info) && info.dwItemData == ItemMarker) {
      return true;
    }
  }
  return false;
}

HRESULT CShellContextMenu::BuildSubmenu(HMENU hmenu, UINT indexMenu) {
  // Items whose ids would pass idCmdLast stay out; without its parent, or with no item that fits, none
  // of the submenu goes in.
  const UINT lowestItem = (itemMask & (kMaskUploadFirst | kMaskShare | kMaskHistory)) != 0
                              ? static_cast<UINT>(ItemShare)
                              : static_cast<UINT>(ItemWebVersion);
  if (!Fits(ItemRoot) || !Fits(lowestItem)) return ItemsAdded(0);
  UniqueMenu submenu(::CreatePopupMenu());
  if (!submenu) return E_FAIL;
  HMENU sub = submenu.get();
  UINT position = 0;

  if ((itemMask & kMaskUploadFirst) && selectedPaths.size() == 1 && Fits(ItemUploadFirst)) {
    const std::wstring& path = selectedPaths.front();
    if (::PathFileExistsW(path.c_str()) && !::PathIsDirectoryW(path.c_str())) {
      uint32_t state = 0;
      {
        PipeClient client;
        state = QueryFileState(&client, path);
      }
      if (state == kUploadFirstState) {
        const bool inserted = InsertTableItem(sub, 0, ItemUploadFirst, ItemUploadFirst);
        position = 1;
        if (inserted) {
          InsertSeparator(sub, 1);
          position = 2;
        }
      }
    }
  }
  // An item that does not go in takes its separator with it; the position still advances.
  const auto itemThenSeparator = [&](MenuItemKey key) {
    if (!Fits(static_cast<UINT>(key))) return;
    const bool inserted = InsertTableItem(sub, position, key, static_cast<UINT>(key));
    ++position;
    if (inserted) {
      InsertSeparator(sub, position);
      ++position;
    }
  };
  if (itemMask & kMaskShare) itemThenSeparator(ItemShare);
  if (itemMask & kMaskHistory) itemThenSeparator(ItemHistory);
  if ((itemMask & kMaskWebVersion) && Fits(ItemWebVersion)) {
    InsertTableItem(sub, position, ItemWebVersion, ItemWebVersion);
    ++position;
  }
  if ((itemMask & kMaskRecycleBin) && Fits(ItemRecycleBin)) {
    InsertTableItem(sub, position, ItemRecycleBin, ItemRecycleBin);
  }

  InsertSeparator(hmenu, indexMenu);
  // Attached, the submenu belongs to Explorer's menu; otherwise it is destroyed here.
  if (InsertTableItem(hmenu, indexMenu + 1, ItemRoot, ItemRoot, sub)) submenu.release();
  InsertSeparator(hmenu, indexMenu + 2);

  if (highestCommandId < firstCommandId) return ItemsAdded(0);
  return ItemsAdded(highestCommandId - firstCommandId + 1);
}

bool CShellContextMenu::InsertTableItem(HMENU menu, UINT position, MenuItemKey key, UINT offset, HMENU submenu) {
  const auto item = itemTable.find(key);
  if (item == itemTable.end()) return false;
  return InsertItem(menu, position, key, offset, item->second.label, item->second.bitmap.get(), submenu);
}

bool CShellContextMenu::InsertItem(HMENU menu, UINT position, MenuItemKey key, UINT offset,
                                   const std::wstring& label, HBITMAP bitmap, HMENU submenu) {
  MENUITEMINFOW info = {};
  info.cbSize = sizeof info;
  info.fMask = kItemMask | (submenu ? MIIM_SUBMENU : 0);
  info.fState = MFS_ENABLED;
  info.wID = firstCommandId + offset;
  info.hSubMenu = submenu;
  info.hbmpChecked = bitmap;
  info.hbmpUnchecked = bitmap;
  info.dwItemData = ItemMarker;
  info.dwTypeData = const_cast<wchar_t*>(label.c_str());
  info.cch = static_cast<UINT>(label.size());

  // The table's entry is made first, so that running out of memory cannot leave an item in the menu
  // that no command offset leads to. The submenu's parent is not a command.
  std::map<uint32_t, MenuItemKey>::iterator entry = commandTable.end();
  bool added = false;
  if (!submenu) {
    try {
      std::tie(entry, added) = commandTable.try_emplace(offset, key);
    } catch (...) {
      return false;
    }
  }
  if (!::InsertMenuItemW(menu, position, TRUE, &info)) {
    if (added) commandTable.erase(entry);
    return false;
  }
  if (entry != commandTable.end()) entry->second = key;
  highestCommandId = std::max(highestCommandId, info.wID);
  return true;
}

bool CShellContextMenu::InsertSeparator(HMENU menu, UINT position) noexcept {
  // A separator that does not go in changes nothing the user can pick.
  return ::InsertMenuW(menu, position, MF_BYPOSITION | MF_SEPARATOR, kSeparatorId, nullptr) != FALSE;
}

}  // namespace quillan
