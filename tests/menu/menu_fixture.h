// The context-menu handler as Explorer drives it: created through the built DLL's class object,
// initialised with a CF_HDROP selection or a folder's item list, its menu read back as one line of
// text; a folder tree with a sync folder, and the desktop stand-in serving its pipes.
#pragma once

#include <objbase.h>
#include <shlobj.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/com_ptr.h"
#include "base/handle.h"
#include "base/text.h"
#include "desktop_app_driver.h"
#include "hdrop_data_object.h"
#include "test_support.h"

namespace quillan::test {

// Creates handlers from BinDir()\QuillanShellUI.dll's DllGetClassObject.
class MenuHandlerSource {
 public:
  MenuHandlerSource() : module_(::LoadLibraryW((BinDir() + L"\\QuillanShellUI.dll").c_str())) {
    using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
    auto get = reinterpret_cast<GetClassObject>(
        module_ ? reinterpret_cast<void*>(::GetProcAddress(module_.get(), "DllGetClassObject")) : nullptr);
    const CLSID menu = {0x8E4B2A8F, 0x956F, 0x47F1, {0xA0, 0x69, 0xED, 0x7F, 0x1A, 0x2D, 0xF6, 0xCF}};
    if (get) get(menu, IID_IClassFactory, factory_.PutVoid());
  }
  ~MenuHandlerSource() { factory_ = nullptr; }  // before the module goes
  bool loaded() const { return static_cast<bool>(factory_); }
  ComPtr<IContextMenu> Create() const {
    ComPtr<IContextMenu> handler;
    if (factory_) factory_->CreateInstance(nullptr, IID_IContextMenu, handler.PutVoid());
    return handler;
  }

 private:
  UniqueModule module_;
  ComPtr<IClassFactory> factory_;
};

inline HRESULT Initialize(IContextMenu* handler, PCIDLIST_ABSOLUTE folder, IDataObject* data) {
  ComPtr<IShellExtInit> init;
  if (!handler || FAILED(handler->QueryInterface(IID_IShellExtInit, init.PutVoid()))) return E_NOINTERFACE;
  return init->Initialize(folder, data, nullptr);
}
inline HRESULT InitializeSelection(IContextMenu* handler, const std::vector<std::wstring>& paths) {
  ComPtr<IDataObject> data;
  data.Attach(standin::HDropDataObject::Create(paths));
  return Initialize(handler, nullptr, data.Get());
}
// A background menu: the folder's item list only.
inline HRESULT InitializeBackground(IContextMenu* handler, const std::wstring& folder) {
  PIDLIST_ABSOLUTE pidl = nullptr;
  if (FAILED(::SHParseDisplayName(folder.c_str(), nullptr, &pidl, 0, nullptr))) return E_UNEXPECTED;
  const HRESULT hr = Initialize(handler, pidl, nullptr);
  ::CoTaskMemFree(pidl);
  return hr;
}

// InvokeCommand with a command offset, or with a verb passed in the ANSI code page.
inline HRESULT InvokeOffset(IContextMenu* handler, UINT offset) {
  CMINVOKECOMMANDINFO info = {sizeof info};
  info.lpVerb = MAKEINTRESOURCEA(offset);
  return handler->InvokeCommand(&info);
}
inline HRESULT InvokeVerb(IContextMenu* handler, const std::wstring& verb) {
  const std::string ansi = WideToAnsi(verb);
  CMINVOKECOMMANDINFO info = {sizeof info};
  info.lpVerb = ansi.c_str();
  return handler->InvokeCommand(&info);
}

// The menu as text, top to bottom, items joined by " | ": "-" for a separator with id 1; an item of
// the handler (item data 0x5549434D) as "label#offset" with offset = id - first, "(WxH)" when it
// carries a bitmap, "!state" or "!checkmarks" when its state is not 0 or its two check bitmaps
// differ; an item of Explorer's own by its label; a submenu as "[...]" after its parent.
inline std::wstring DescribeMenu(HMENU menu, UINT first) {
  std::wstring out;
  for (int position = 0; position < ::GetMenuItemCount(menu); ++position) {
    if (!out.empty()) out += L" | ";
    wchar_t label[64] = {};
    MENUITEMINFOW item = {sizeof item, MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_CHECKMARKS | MIIM_DATA};
    MENUITEMINFOW text = {sizeof text, MIIM_STRING};  // asked apart: together they are unreliable under Wine
    text.dwTypeData = label;
    text.cch = 64;
    if (!::GetMenuItemInfoW(menu, position, TRUE, &item) || !::GetMenuItemInfoW(menu, position, TRUE, &text)) {
      out += L"?";
    } else if (item.fType & MFT_SEPARATOR) {
      out += (item.wID == 1 && item.dwItemData == 0) ? L"-" : L"-?" + std::to_wstring(item.wID);
    } else {
      out += label;
      BITMAP bitmap = {};
      if (item.dwItemData == 0x5549434D) {
        out += L"#" + std::to_wstring(static_cast<int>(item.wID - first));
        if (::GetObjectW(item.hbmpChecked, sizeof bitmap, &bitmap)) {
          out += L"(" + std::to_wstring(bitmap.bmWidth) + L"x" + std::to_wstring(bitmap.bmHeight) + L")";
        }
        if (item.hbmpChecked != item.hbmpUnchecked) out += L"!checkmarks";
        if (item.fState != 0) out += L"!state";
      }
      if (item.hSubMenu) out += L"[" + DescribeMenu(item.hSubMenu, first) + L"]";
    }
  }
  return out;
}

// A popup menu with `prefill` items of Explorer's own ("x1", "x2"...; ids 1, 2...).
inline UniqueMenu PrefilledMenu(int prefill) {
  UniqueMenu menu(::CreatePopupMenu());
  for (int i = 1; i <= prefill; ++i) ::AppendMenuW(menu.get(), MF_STRING, i, (L"x" + std::to_wstring(i)).c_str());
  return menu;
}

// A sync folder with files and a folder in it, and folders beside it, the stand-in's engine naming
// it: <temp>\Sync\a.txt (engine state 3), b.txt, c.txt (state 2), Docs\d.txt; <temp>\SyncOld\y.txt,
// <temp>\Other\x.txt. The engine gives "gone.txt", which does not exist, state 3 too.
class MenuTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const wchar_t* file : {L"Sync\\a.txt", L"Sync\\b.txt", L"Sync\\c.txt", L"Sync\\Docs\\d.txt",
                                L"SyncOld\\y.txt", L"Other\\x.txt"}) {
      ASSERT_TRUE(WriteBytes(Beside(file), std::string("data")));
    }
    ASSERT_TRUE(source_.loaded());
    const std::wstring scenario = L"pipe ui_host normal\nsync-root ui_host " + root_ + L"\nstate 3 " + In(L"a.txt") +
                                  L"\nstate 3 " + In(L"gone.txt") + L"\ndefault-state 2\n";
    ASSERT_TRUE(standin_.Start({L"--no-adopt", L"--scenario", standin_.WriteScenario(scenario)}));
  }
  std::wstring In(const std::wstring& relative) const { return root_ + L"\\" + relative; }
  std::wstring Beside(const std::wstring& relative) const { return dir_ / relative; }
  void Command(const std::wstring& command) { ASSERT_EQ(standin_.Control(command), 1) << WideToUtf8(command); }

  // A fresh handler for a selection (or, with background set, a folder background) and its menu.
  struct Built {
    ComPtr<IContextMenu> handler;
    HRESULT init = E_FAIL;
    HRESULT query = E_FAIL;
    std::wstring menu;
  };
  Built Build(const std::vector<std::wstring>& paths, const std::wstring& background = std::wstring(),
              int prefill = 0, UINT index = 0, UINT last = 1100) {
    Built built{source_.Create()};
    built.init = background.empty() ? InitializeSelection(built.handler.Get(), paths)
                                    : InitializeBackground(built.handler.Get(), background);
    if (FAILED(built.init)) return built;
    UniqueMenu menu = PrefilledMenu(prefill);
    built.query = built.handler->QueryContextMenu(menu.get(), index, 1000, last, CMF_NORMAL);
    built.menu = DescribeMenu(menu.get(), 1000);
    return built;
  }

  TempDir dir_;
  std::wstring root_ = dir_ / L"Sync";
  MenuHandlerSource source_;
  DesktopAppStandin standin_;
};

}  // namespace quillan::test
