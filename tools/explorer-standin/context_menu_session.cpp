#include "context_menu_session.h"

#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <algorithm>

#include "base/text.h"
#include "hdrop_data_object.h"
#include "standin_output.h"

namespace quillan::standin {

namespace {

std::wstring BitmapText(HBITMAP bitmap) {
  if (!bitmap) return std::wstring();
  // Values below 12 are the predefined menu bitmaps (HBMMENU_*), not objects.
  if (reinterpret_cast<UINT_PTR>(bitmap) < 12) return L"predefined:" + std::to_wstring(reinterpret_cast<UINT_PTR>(bitmap));
  BITMAP info = {};
  if (!::GetObjectW(bitmap, sizeof info, &info)) return L"invalid";
  return std::to_wstring(info.bmWidth) + L"x" + std::to_wstring(info.bmHeight) + L"x" + std::to_wstring(info.bmBitsPixel);
}

std::wstring ParentFolder(const std::wstring& path) {
  size_t slash = path.find_last_of(L'\\');
  if (slash == std::wstring::npos) return std::wstring();
  return path.substr(0, slash == 2 && path.size() > 1 && path[1] == L':' ? 3 : slash);
}

// A shell item list for a folder; null for a place the shell cannot parse.
PIDLIST_ABSOLUTE FolderPidl(const std::wstring& folder) {
  if (folder.empty()) return nullptr;
  PIDLIST_ABSOLUTE pidl = nullptr;
  if (FAILED(::SHParseDisplayName(folder.c_str(), nullptr, &pidl, 0, nullptr))) return nullptr;
  return pidl;
}

}  // namespace

ContextMenuSession::ContextMenuSession(const ClassSource& source, CLSID clsid, HWND owner, int frameId)
    : source_(source), clsid_(clsid), owner_(owner), frameId_(frameId) {}

ContextMenuSession::~ContextMenuSession() {
  // Explorer lets go of the handlers before it destroys the menu they filled.
  handlers_.clear();
  menu_.reset();
}

HRESULT ContextMenuSession::Initialize(IShellExtInit* init, const MenuRequest& request) {
  PIDLIST_ABSOLUTE pidl = nullptr;
  ComPtr<IDataObject> data;
  const wchar_t* progId = L"Directory\\Background";
  if (request.paths.empty()) {
    pidl = FolderPidl(request.backgroundFolder);
  } else {
    pidl = FolderPidl(ParentFolder(request.paths[0]));
    data.Attach(HDropDataObject::Create(request.paths));
    progId = ::PathIsDirectoryW(request.paths[0].c_str()) ? L"Directory" : L"*";
  }
  HKEY key = nullptr;
  // A missing class key only means no key is passed, as for an unknown file type.
  if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, progId, 0, KEY_READ, &key) != ERROR_SUCCESS) key = nullptr;
  HRESULT hr = init->Initialize(pidl, data.Get(), key);
  if (key) ::RegCloseKey(key);
  if (pidl) ::CoTaskMemFree(pidl);
  return hr;
}

int ContextMenuSession::Build(const MenuRequest& request) {
  handlers_.clear();
  menu_.reset(::CreatePopupMenu());
  folder_ = request.paths.empty() ? request.backgroundFolder : ParentFolder(request.paths[0]);
  if (!menu_) {
    JsonLine("error").Add("frame", frameId_).Add("message", "CreatePopupMenu failed").Emit();
    return 0;
  }
  int prefill = request.prefill > 0 ? request.prefill : (request.marker ? 1 : 0);
  for (int i = 0; i < prefill; ++i) {
    std::wstring label = L"Standin item " + std::to_wstring(i + 1);
    MENUITEMINFOW item = {};
    item.cbSize = sizeof item;
    item.fMask = MIIM_ID | MIIM_STRING | MIIM_DATA;
    item.wID = static_cast<UINT>(i + 1);
    item.dwItemData = (request.marker && i == 0) ? 0x5549434D : 0;
    item.dwTypeData = &label[0];
    ::InsertMenuItemW(menu_.get(), static_cast<UINT>(i), TRUE, &item);
  }
  UINT index = request.indexMenu >= 0 ? static_cast<UINT>(request.indexMenu) : static_cast<UINT>(prefill);

  // The user right-clicked inside the items: handlers that look under the cursor find this window.
  HWND cursorWindow = nullptr;
  RECT frame;
  if (owner_ && ::GetWindowRect(owner_, &frame)) {
    POINT center = {(frame.left + frame.right) / 2, (frame.top + frame.bottom) / 2};
    if (::SetCursorPos(center.x, center.y)) {
      HWND under = ::WindowFromPoint(center);
      cursorWindow = under ? ::GetAncestor(under, GA_ROOT) : nullptr;
    }
  }

  UINT nextId = request.firstId;
  for (int i = 0; i < std::max(1, request.handlers); ++i) {
    Handler handler;
    ComPtr<IShellExtInit> init;
    handler.create = source_.Create(clsid_, IID_IShellExtInit, init.PutVoid());
    if (SUCCEEDED(handler.create) && init) {
      handler.init = Initialize(init.Get(), request);
      // Explorer drops a handler whose initialisation failed without asking it for items.
      if (SUCCEEDED(handler.init) && SUCCEEDED(init.As(&handler.menu))) {
        handler.first = nextId;
        handler.query = handler.menu->QueryContextMenu(menu_.get(), index, nextId, request.lastId, request.flags);
        handler.queried = true;
        if (SUCCEEDED(handler.query)) {
          handler.used = HRESULT_CODE(handler.query);
          nextId += handler.used;
        }
      }
    }
    JsonLine line("menu-handler");
    line.Add("frame", frameId_).Add("index", i).Hex("create", static_cast<unsigned long>(handler.create));
    line.Hex("init", static_cast<unsigned long>(handler.init)).Add("queried", handler.queried);
    if (handler.queried) line.Hex("query", static_cast<unsigned long>(handler.query));
    line.Add("first", handler.first).Add("used", handler.used).Emit();
    handlers_.push_back(std::move(handler));
  }
  PrintItems(menu_.get(), 0, request.commandStrings);
  int count = ::GetMenuItemCount(menu_.get());
  JsonLine("menu")
      .Add("frame", frameId_)
      .Add("handlers", static_cast<int>(handlers_.size()))
      .Add("items", count)
      .Add("index", index)
      .Add("first", request.firstId)
      .Add("flags", request.flags)
      .Add("cursor-window", cursorWindow)
      .Emit();
  return count;
}

void ContextMenuSession::PrintItems(HMENU menu, int level, bool commandStrings) {
  int count = ::GetMenuItemCount(menu);
  for (int pos = 0; pos < count; ++pos) {
    MENUITEMINFOW item = {};
    item.cbSize = sizeof item;
    item.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_CHECKMARKS | MIIM_DATA | MIIM_STRING | MIIM_BITMAP;
    if (!::GetMenuItemInfoW(menu, static_cast<UINT>(pos), TRUE, &item)) {
      JsonLine("menu-item").Add("frame", frameId_).Add("level", level).Add("pos", pos).Add("error", true).Emit();
      continue;
    }
    std::wstring text;
    if (item.cch > 0) {
      // A record of its own: asking for the text alone clears the other fields (Wine does).
      MENUITEMINFOW label = {};
      label.cbSize = sizeof label;
      label.fMask = MIIM_STRING;
      text.assign(item.cch + 1, L'\0');
      label.dwTypeData = &text[0];
      label.cch = item.cch + 1;
      if (::GetMenuItemInfoW(menu, static_cast<UINT>(pos), TRUE, &label)) text.resize(label.cch);
      else text.clear();
    }
    const char* kind = (item.fType & MFT_SEPARATOR) ? "separator"
                       : (item.fType & MFT_OWNERDRAW) ? "ownerdraw"
                       : (item.fType & MFT_BITMAP)    ? "bitmap"
                                                      : "string";
    JsonLine line("menu-item");
    line.Add("frame", frameId_).Add("level", level).Add("pos", pos).Add("kind", kind).Add("id", item.wID);
    line.Add("text", text).Hex("state", item.fState).Hex("ftype", item.fType);
    line.Hex("data", static_cast<unsigned long>(item.dwItemData)).Add("submenu", item.hSubMenu != nullptr);
    line.Add("checked", BitmapText(item.hbmpChecked)).Add("unchecked", BitmapText(item.hbmpUnchecked));
    line.Add("same-checkmarks", item.hbmpChecked == item.hbmpUnchecked).Add("item-bitmap", BitmapText(item.hbmpItem));
    for (size_t h = 0; h < handlers_.size(); ++h) {
      const Handler& handler = handlers_[h];
      if (!handler.menu || item.wID < handler.first || item.wID >= handler.first + handler.used) continue;
      UINT offset = item.wID - handler.first;
      line.Add("handler", static_cast<int>(h)).Add("offset", offset);
      if (commandStrings && !(item.fType & MFT_SEPARATOR)) {
        wchar_t buffer[260] = {};
        if (handler.menu->GetCommandString(offset, GCS_VERBW, nullptr, reinterpret_cast<LPSTR>(buffer), 260) == S_OK) {
          line.Add("verb", std::wstring(buffer));
        }
        buffer[0] = L'\0';
        if (handler.menu->GetCommandString(offset, GCS_HELPTEXTW, nullptr, reinterpret_cast<LPSTR>(buffer), 260) == S_OK) {
          line.Add("help", std::wstring(buffer));
        }
      }
      break;
    }
    line.Emit();
    if (item.hSubMenu) PrintItems(item.hSubMenu, level + 1, commandStrings);
  }
}

HRESULT ContextMenuSession::Invoke(int handler, LPCSTR verbA, LPCWSTR verbW, bool plain) {
  IContextMenu* menu = handlers_[static_cast<size_t>(handler)].menu.Get();
  POINT cursor = {};
  ::GetCursorPos(&cursor);
  std::string directoryA = WideToAnsi(folder_);
  CMINVOKECOMMANDINFOEX info = {};
  info.cbSize = plain ? sizeof(CMINVOKECOMMANDINFO) : sizeof(CMINVOKECOMMANDINFOEX);
  info.fMask = plain ? 0 : (CMIC_MASK_UNICODE | CMIC_MASK_PTINVOKE);
  info.hwnd = owner_;
  info.lpVerb = verbA;
  info.lpDirectory = directoryA.empty() ? nullptr : directoryA.c_str();
  info.nShow = SW_SHOWNORMAL;
  if (!plain) {
    info.lpVerbW = verbW;
    info.lpDirectoryW = folder_.empty() ? nullptr : folder_.c_str();
    info.ptInvoke = cursor;
  }
  return menu->InvokeCommand(reinterpret_cast<CMINVOKECOMMANDINFO*>(&info));
}

bool ContextMenuSession::InvokeId(UINT id, bool plain, HRESULT* result, int* handler, UINT* offset) {
  for (size_t h = 0; h < handlers_.size(); ++h) {
    if (handlers_[h].menu && id >= handlers_[h].first && id < handlers_[h].first + handlers_[h].used) {
      *handler = static_cast<int>(h);
      *offset = id - handlers_[h].first;
      return InvokeOffset(*handler, *offset, plain, result);
    }
  }
  return false;
}

bool ContextMenuSession::InvokeOffset(int handler, UINT offset, bool plain, HRESULT* result) {
  if (handler < 0 || static_cast<size_t>(handler) >= handlers_.size() || !handlers_[static_cast<size_t>(handler)].menu) return false;
  *result = Invoke(handler, MAKEINTRESOURCEA(offset), MAKEINTRESOURCEW(offset), plain);
  return true;
}

bool ContextMenuSession::InvokeVerb(int handler, const std::wstring& verb, bool plain, HRESULT* result) {
  if (handler < 0 || static_cast<size_t>(handler) >= handlers_.size() || !handlers_[static_cast<size_t>(handler)].menu) return false;
  std::string ansi = WideToAnsi(verb);
  *result = Invoke(handler, ansi.c_str(), verb.c_str(), plain);
  return true;
}

}  // namespace quillan::standin
