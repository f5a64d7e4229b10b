#include "menu_fixture.h"

#include <shlobj.h>

#include "base/text.h"
#include "hdrop_data_object.h"

namespace quillan::test {

namespace {

const CLSID kShellContextMenuClsid = {0x8E4B2A8F, 0x956F, 0x47F1, {0xA0, 0x69, 0xED, 0x7F, 0x1A, 0x2D, 0xF6, 0xCF}};

std::wstring ItemText(HMENU menu, UINT position, UINT chars) {
  if (chars == 0) return std::wstring();
  // A record of its own: asking for the text together with other fields is unreliable under Wine.
  std::wstring text(chars + 1, L'\0');
  MENUITEMINFOW label = {};
  label.cbSize = sizeof label;
  label.fMask = MIIM_STRING;
  label.dwTypeData = &text[0];
  label.cch = chars + 1;
  if (!::GetMenuItemInfoW(menu, position, TRUE, &label)) return L"?";
  text.resize(label.cch);
  return text;
}

std::wstring BitmapSize(HBITMAP bitmap) {
  BITMAP info = {};
  if (!::GetObjectW(bitmap, sizeof info, &info)) return L"(invalid)";
  return L"(" + std::to_wstring(info.bmWidth) + L"x" + std::to_wstring(info.bmHeight) + L")";
}

}  // namespace

MenuHandlerSource::MenuHandlerSource() : module_(::LoadLibraryW((BinDir() + L"\\QuillanShellUI.dll").c_str())) {
  if (!module_) return;
  using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
  auto get = reinterpret_cast<GetClassObject>(reinterpret_cast<void*>(::GetProcAddress(module_, "DllGetClassObject")));
  if (get) get(kShellContextMenuClsid, IID_IClassFactory, factory_.PutVoid());
}

MenuHandlerSource::~MenuHandlerSource() {
  factory_ = nullptr;
  if (module_) ::FreeLibrary(module_);
}

ComPtr<IContextMenu> MenuHandlerSource::Create() const {
  ComPtr<IContextMenu> handler;
  if (factory_) factory_->CreateInstance(nullptr, IID_IContextMenu, handler.PutVoid());
  return handler;
}

HRESULT InitializeSelection(IContextMenu* handler, const std::vector<std::wstring>& paths) {
  ComPtr<IShellExtInit> init;
  if (!handler || FAILED(handler->QueryInterface(IID_IShellExtInit, init.PutVoid()))) return E_NOINTERFACE;
  ComPtr<IDataObject> data;
  data.Attach(standin::HDropDataObject::Create(paths));
  return init->Initialize(nullptr, data.Get(), nullptr);
}

HRESULT InitializeBackground(IContextMenu* handler, PCIDLIST_ABSOLUTE folder) {
  ComPtr<IShellExtInit> init;
  if (!handler || FAILED(handler->QueryInterface(IID_IShellExtInit, init.PutVoid()))) return E_NOINTERFACE;
  return init->Initialize(folder, nullptr, nullptr);
}

HRESULT InitializeBackground(IContextMenu* handler, const std::wstring& folder) {
  PIDLIST_ABSOLUTE pidl = nullptr;
  if (FAILED(::SHParseDisplayName(folder.c_str(), nullptr, &pidl, 0, nullptr))) return E_UNEXPECTED;
  const HRESULT hr = InitializeBackground(handler, pidl);
  ::CoTaskMemFree(pidl);
  return hr;
}

HRESULT InvokeOffset(IContextMenu* handler, UINT offset) {
  CMINVOKECOMMANDINFO info = {};
  info.cbSize = sizeof info;
  info.lpVerb = MAKEINTRESOURCEA(offset);
  return handler->InvokeCommand(&info);
}

HRESULT InvokeVerb(IContextMenu* handler, const std::wstring& verb) {
  const std::string ansi = WideToAnsi(verb);
  CMINVOKECOMMANDINFO info = {};
  info.cbSize = sizeof info;
  info.lpVerb = ansi.c_str();
  return handler->InvokeCommand(&info);
}

UniqueMenu PrefilledMenu(int prefill) {
  UniqueMenu menu(::CreatePopupMenu());
  for (int i = 0; i < prefill; ++i) {
    const std::wstring label = L"x" + std::to_wstring(i + 1);
    ::InsertMenuW(menu.get(), static_cast<UINT>(i), MF_BYPOSITION | MF_STRING, static_cast<UINT_PTR>(i + 1),
                  label.c_str());
  }
  return menu;
}

std::wstring DescribeMenu(HMENU menu, UINT first) {
  std::wstring out;
  const int count = ::GetMenuItemCount(menu);
  for (int position = 0; position < count; ++position) {
    if (!out.empty()) out += L" | ";
    MENUITEMINFOW item = {};
    item.cbSize = sizeof item;
    item.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_CHECKMARKS | MIIM_DATA | MIIM_STRING;
    if (!::GetMenuItemInfoW(menu, static_cast<UINT>(position), TRUE, &item)) {
      out += L"?";
      continue;
    }
    if (item.fType & MFT_SEPARATOR) {
      out += (item.wID == 1 && item.dwItemData == 0) ? L"-" : L"-?" + std::to_wstring(item.wID);
      continue;
    }
    out += ItemText(menu, static_cast<UINT>(position), item.cch);
    if (item.dwItemData == kItemMarker) {
      out += L"#" + std::to_wstring(static_cast<int>(item.wID - first));
      if (item.hbmpChecked) out += BitmapSize(item.hbmpChecked);
      if (item.hbmpChecked != item.hbmpUnchecked) out += L"!checkmarks";
      if (item.fState != 0) out += L"!state";
    }
    if (item.hSubMenu) out += L"[" + DescribeMenu(item.hSubMenu, first) + L"]";
  }
  return out;
}

SyncTree::SyncTree() : root(dir / L"Sync") {
  for (const wchar_t* file : {L"Sync\\a.txt", L"Sync\\b.txt", L"Sync\\c.txt", L"Sync\\Docs\\d.txt",
                              L"SyncOld\\y.txt", L"Other\\x.txt"}) {
    WriteBytes(dir / file, std::string("data"));
  }
}

std::wstring SyncTree::Scenario() const {
  return L"pipe ui_host normal\nsync-root ui_host " + root + L"\nstate 3 " + In(L"a.txt") + L"\ndefault-state 2\n";
}

CursorWindow::CursorWindow() {
  // A class of its own: static controls are transparent to the hit test that finds the window.
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = ::DefWindowProcW;
  windowClass.hInstance = ::GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"QuillanMenuTestOwner";
  ::RegisterClassW(&windowClass);
  window_.reset(::CreateWindowExW(WS_EX_TOPMOST, windowClass.lpszClassName, L"", WS_POPUP | WS_VISIBLE, 0, 0, 300,
                                  300, nullptr, nullptr, windowClass.hInstance, nullptr));
  ::SetCursorPos(150, 150);
}

}  // namespace quillan::test
