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
#include "base/text.h"
#include "ipc/main_window.h"
#include "ipc/pipe_client.h"
#include "ipc/records.h"
#include "ui/images.h"
#include "resource.h"
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

constexpr HRESULT kInsufficientBuffer = HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);  // 0x8007007A
// The bounded copy refuses sizes that do not fit a signed 32-bit count.
constexpr UINT kMaxCopyChars = 0x7FFFFFFF;

HRESULT ItemsAdded(UINT count) { return MAKE_HRESULT(SEVERITY_SUCCESS, FACILITY_NULL, count); }

// Verbs in the order they are matched: the first equal one wins.
constexpr MenuItemKey kVerbOrder[] = {
    CShellContextMenu::ItemRoot,       CShellContextMenu::ItemUploadFirst, CShellContextMenu::ItemShare,
    CShellContextMenu::ItemHistory,    CShellContextMenu::ItemWebVersion,  CShellContextMenu::ItemRecycleBin,
    CShellContextMenu::ItemSyncTo};

// Equal when the texts differ at most in the case of A-Z; no allocation.
bool SameVerb(const wchar_t* a, const wchar_t* b) noexcept {
  for (; *a && *b; ++a, ++b) {
    if (LowerAZ(*a) != LowerAZ(*b)) return false;
  }
  return *a == *b;
}

// Copies at most cchMax - 1 characters and a zero; the text is cut when it does not fit.
template <typename Char>
HRESULT BoundedCopy(Char* out, UINT cchMax, const Char* text, size_t length) {
  if (cchMax == 0 || cchMax > kMaxCopyChars) {
    if (cchMax > kMaxCopyChars && out) out[0] = 0;
    return E_INVALIDARG;
  }
  if (!out) return E_INVALIDARG;
  const size_t copied = std::min<size_t>(length, cchMax - 1);
  std::copy(text, text + copied, out);
  out[copied] = 0;
  return copied < length ? kInsufficientBuffer : S_OK;
}

// The STGMEDIUM of a GetData call, released however Initialize leaves.
class MediumScope {
 public:
  explicit MediumScope(STGMEDIUM* medium) noexcept : medium_(medium) {}
  ~MediumScope() { ::ReleaseStgMedium(medium_); }
  MediumScope(const MediumScope&) = delete;
  MediumScope& operator=(const MediumScope&) = delete;

 private:
  STGMEDIUM* medium_;
};

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
  FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  STGMEDIUM medium = {};
  if (FAILED(pdtobj->GetData(&format, &medium))) return E_INVALIDARG;
  MediumScope release(&medium);
  // Another kind of medium has no drop list in global memory to lock.
  if (medium.tymed != TYMED_HGLOBAL || !medium.hGlobal) return E_INVALIDARG;
  void* drop = ::GlobalLock(medium.hGlobal);
  if (!drop) return E_INVALIDARG;
  const bool collected = CollectSelection(static_cast<HDROP>(drop));
  ::GlobalUnlock(medium.hGlobal);  // the lock count is ours; its result says nothing about the list
  return collected ? S_OK : E_INVALIDARG;
}

bool CShellContextMenu::CollectSelection(HDROP drop) {
  if (!drop) return false;
  selectedPaths.clear();
  const UINT count = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  try {
    for (UINT index = 0; index < count; ++index) {
      const UINT length = ::DragQueryFileW(drop, index, nullptr, 0);
      std::wstring buffer(static_cast<size_t>(length) + 1, L'\0');
      ::DragQueryFileW(drop, index, &buffer[0], length + 1);
      buffer[length] = L'\0';
      std::wstring path = buffer.c_str();
      // A drive or share root in the selection spoils the whole menu.
      if (::PathIsRootW(path.c_str())) {
        selectedPaths.clear();
        return false;
      }
      selectedPaths.push_back(std::move(path));
    }
  } catch (...) {  // out of memory
    selectedPaths.clear();
    return false;
  }
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

// ---- InvokeCommand

HRESULT STDMETHODCALLTYPE CShellContextMenu::InvokeCommand(CMINVOKECOMMANDINFO* pici) {
  if (!pici) return E_INVALIDARG;
  MenuItemKey key = 0;
  const ULONG_PTR verb = reinterpret_cast<ULONG_PTR>(pici->lpVerb);
  if ((verb >> 16) == 0) {
    const auto command = commandTable.find(static_cast<uint32_t>(verb & 0xFFFF));
    if (command == commandTable.end()) return E_INVALIDARG;
    key = command->second;
  } else {
    // No verb is longer than this; a text that does not convert into it matches none of them.
    wchar_t wide[32];
    const int chars = ::MultiByteToWideChar(CP_ACP, 0, pici->lpVerb, -1, wide, ARRAYSIZE(wide));
    if (chars <= 0) return E_INVALIDARG;
    const auto match = std::find_if(std::begin(kVerbOrder), std::end(kVerbOrder),
                                    [&](MenuItemKey k) { return SameVerb(wide, Label(k)); });
    if (match == std::end(kVerbOrder)) return E_INVALIDARG;
    key = *match;
  }
  return RunCommand(key);
}

HRESULT CShellContextMenu::RunCommand(MenuItemKey key) const {
  switch (key) {
    case ItemRoot:
      return S_OK;  // the submenu's parent does nothing

    case ItemShare:
    case ItemSyncTo:
    case ItemUploadFirst: {
      if (selectedPaths.empty()) return E_FAIL;
      if (!FindMainWindow()) return S_OK;  // the application went away since the menu was built
      std::optional<Record> record;
      try {
        record = key == ItemShare ? BuildShareRecord(ownerWindow, selectedPaths)
                                  : BuildPathListRecord(key == ItemSyncTo ? to_main::kSyncTo : to_main::kUploadFirst,
                                                        selectedPaths);
      } catch (...) {
        return S_OK;  // out of memory: nothing is sent
      }
      // The outcome is not reported: a busy application is no fault of the command.
      if (record) SendToMainWindow(*record);
      return S_OK;
    }

    case ItemHistory: {
      if (selectedPaths.empty() || !FindMainWindow()) return E_FAIL;
      std::optional<Record> record;
      try {
        record = BuildHistoryRecord(selectedPaths.front());
      } catch (...) {
        return S_OK;  // out of memory: nothing is sent
      }
      if (!record || SendToMainWindow(*record)) return S_OK;
      DWORD error = ::GetLastError();
      if (error == 0) error = ERROR_TIMEOUT;
      return static_cast<HRESULT>(0x80070000u | (error & 0xFFFFu));
    }

    case ItemWebVersion:
    case ItemRecycleBin:
      if (!FindMainWindow()) return E_FAIL;
      // The outcome is not reported: the application shows the page or not.
      SendToMainWindow(BuildEmptyRecord(key == ItemWebVersion ? to_main::kWebVersion : to_main::kRecycleBin));
      return S_OK;

    default:
      return E_INVALIDARG;
  }
}

// ---- GetCommandString

HRESULT STDMETHODCALLTYPE CShellContextMenu::GetCommandString(UINT_PTR idCmd, UINT uType, UINT* /*pReserved*/,
                                                              CHAR* pszName, UINT cchMax) {
  if (idCmd > 0xFFFFFFFFu) return E_INVALIDARG;
  const auto command = commandTable.find(static_cast<uint32_t>(idCmd));
  if (command == commandTable.end()) return E_INVALIDARG;
  const auto item = itemTable.find(command->second);
  if (item == itemTable.end()) return E_INVALIDARG;
  const std::wstring& label = item->second.label;

  switch (uType) {
    case GCS_VERBW:
    case GCS_HELPTEXTW:
      return BoundedCopy(reinterpret_cast<wchar_t*>(pszName), cchMax, label.c_str(), label.size());
    case GCS_VERBA:
    case GCS_HELPTEXTA: {
      // Labels are a few characters: a fixed buffer spares an allocation.
      char ansi[64];
      const int bytes = ::WideCharToMultiByte(CP_ACP, 0, label.c_str(), static_cast<int>(label.size()), ansi,
                                              sizeof ansi, nullptr, nullptr);
      if (bytes <= 0) {
        if (pszName && cchMax > 0 && cchMax <= kMaxCopyChars) pszName[0] = '\0';
        return E_FAIL;
      }
      return BoundedCopy(pszName, cchMax, ansi, static_cast<size_t>(bytes));
    }
    default:
      return E_INVALIDARG;  // the validate requests included
  }
}

}  // namespace quillan
