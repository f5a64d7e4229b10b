// Self-registration through regsvr32 in the test prefix, per machine and per user, and its undoing.
#include <comcat.h>
#include <objbase.h>
#include <ocidl.h>
#include <oleauto.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/com_ptr.h"
#include "base/handle.h"
#include "shell_dll.h"
#include "test_support.h"

namespace quillan {
namespace {

using test::RunRegsvr32;

const std::wstring kBand = L"{20B497C6-62FD-482A-9290-BD1BBEF85146}", kMenu = L"{8E4B2A8F-956F-47F1-A069-ED7F1A2DF6CF}";
const std::wstring kHelpers = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects";
const std::wstring kOther = L"{0F0F0F0F-1111-2222-3333-444455556666}";  // another product's entries
const std::wstring kHandlers[] = {L"*\\shellex", L"Directory\\Background\\ShellEx", L"Directory\\ShellEx",
                                  L"Folder\\ShellEx"};

bool KeyExists(HKEY root, const std::wstring& path) {
  UniqueKey key;
  return ::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

// A REG_SZ value (name empty: the default value), or "(none)".
std::wstring Text(HKEY root, const std::wstring& path, const wchar_t* name) {
  wchar_t data[1024] = {};
  DWORD bytes = sizeof data - sizeof(wchar_t), type = 0;
  const LSTATUS status = ::SHGetValueW(root, path.c_str(), *name ? name : nullptr, &type, data, &bytes);
  return status == ERROR_SUCCESS && type == REG_SZ ? data : L"(none)";
}

struct Expected {
  std::wstring key;  // below Software\Classes
  const wchar_t* name;
  std::wstring data;  // empty: the key only
};

std::vector<Expected> ClassEntries() {
  const std::wstring band = L"CLSID\\" + kBand, menu = L"CLSID\\" + kMenu, dll = test::ShellDll::Path();
  std::vector<Expected> entries = {
      {L"AppID\\{B603F513-FD46-47F3-B879-112CB9D1F685}", L"", L"QuillanShellUI"},
      {L"AppID\\QuillanShellUI.DLL", L"AppID", L"{B603F513-FD46-47F3-B879-112CB9D1F685}"},
      {L"QuillanShellUI.ExplorerBand.1", L"", L"Orrin状态栏"},
      {L"QuillanShellUI.ExplorerBand.1\\CLSID", L"", kBand},
      {L"QuillanShellUI.ExplorerBand", L"", L"Orrin状态栏"},
      {L"QuillanShellUI.ExplorerBand\\CLSID", L"", kBand},
      {L"QuillanShellUI.ExplorerBand\\CurVer", L"", L"QuillanShellUI.ExplorerBand.1"},
      {band, L"", L"Orrin状态栏"},
      {band + L"\\ProgID", L"", L"QuillanShellUI.ExplorerBand.1"},
      {band + L"\\VersionIndependentProgID", L"", L"QuillanShellUI.ExplorerBand"},
      {band + L"\\Programmable", L"", L""},
      {band + L"\\InprocServer32", L"", dll},
      {band + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
      {band + L"\\TypeLib", L"", L"{295FA374-9546-431F-9CA2-97B51CE23627}"},
      {L"QuillanShellUI.ShellContextMenu.1", L"", L"Orrin右键菜单"},
      {L"QuillanShellUI.ShellContextMenu.1\\CLSID", L"", kMenu},
      {L"QuillanShellUI.ShellContextMenu", L"", L"Orrin右键菜单"},
      {L"QuillanShellUI.ShellContextMenu\\CLSID", L"", kMenu},
      {L"QuillanShellUI.ShellContextMenu\\CurVer", L"", L"QuillanShellUI.ShellContextMenu.1"},
      {menu, L"", L"Orrin右键菜单"},
      {menu + L"\\ProgID", L"", L"QuillanShellUI.ShellContextMenu.1"},
      {menu + L"\\VersionIndependentProgID", L"", L"QuillanShellUI.ShellContextMenu"},
      {menu + L"\\Programmable", L"", L""},
      {menu + L"\\InprocServer32", L"", dll},
      {menu + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
      {menu + L"\\TypeLib", L"", L"{}"},
  };
  for (const std::wstring& handlers : kHandlers) entries.push_back({handlers + L"\\ContextMenuHandlers\\VelQuillanBarUI", L"", kMenu});
  return entries;
}

bool TypeLibraryRegistered() {
  ComPtr<ITypeLib> library;
  return SUCCEEDED(::LoadRegTypeLib(test::Guid(L"{295FA374-9546-431F-9CA2-97B51CE23627}"), 1, 0, 0x409, library.Put()));
}

class Registration : public ::testing::Test {
 protected:
  // Keys that exist on every Windows system, and another product's entries beside ours.
  void SetUp() override {
    Clean();
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
      for (const std::wstring& handlers : kHandlers) {
        const std::wstring key = L"Software\\Classes\\" + handlers + L"\\ContextMenuHandlers\\OtherProduct";
        ASSERT_EQ(::SHSetValueW(root, key.c_str(), nullptr, REG_SZ, kOther.c_str(), 78), ERROR_SUCCESS);
      }
      for (const wchar_t* key : {L"Software\\Classes\\AppID\\" L"{0F0F0F0F-1111-2222-3333-444455556666}",
                                 L"Software\\Classes\\CLSID\\" L"{0F0F0F0F-1111-2222-3333-444455556666}"}) {
        ASSERT_EQ(::SHSetValueW(root, key, nullptr, REG_SZ, L"other", 12), ERROR_SUCCESS);
      }
    }
    ASSERT_EQ(::SHSetValueW(HKEY_LOCAL_MACHINE, (kHelpers + L"\\" + kOther).c_str(), nullptr, REG_SZ, L"", 2), ERROR_SUCCESS);
  }
  void TearDown() override {
    Clean();
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
      for (const std::wstring& handlers : kHandlers) {
        ::SHDeleteKeyW(root, (L"Software\\Classes\\" + handlers + L"\\ContextMenuHandlers\\OtherProduct").c_str());
      }
      for (const wchar_t* kind : {L"AppID\\", L"CLSID\\"}) ::SHDeleteKeyW(root, (std::wstring(L"Software\\Classes\\") + kind + kOther).c_str());
    }
    ::SHDeleteKeyW(HKEY_LOCAL_MACHINE, (kHelpers + L"\\" + kOther).c_str());
  }
  // Results ignored: whatever is left of an earlier run is to go. Wine writes the category of a
  // per-user registration under the machine's classes and takes back only the category itself.
  static void Clean() {
    RunRegsvr32(L"/u /n /i:user");
    RunRegsvr32(L"/u");
    for (const std::wstring& clsid : {kBand, kMenu}) ::SHDeleteKeyW(HKEY_LOCAL_MACHINE, (L"Software\\Classes\\CLSID\\" + clsid).c_str());
  }
};

TEST_F(Registration, EachModeWritesEveryKeyAndUnregistrationTakesBackOnlyThose) {
  const std::wstring category = L"\\Implemented Categories\\{59FB2056-D625-48D0-A944-1A85B5AB2640}";
  const struct {
    const wchar_t* install;
    const wchar_t* uninstall;
    HKEY classes;  // below Software\Classes
    HKEY other;    // where none of the classes' own keys may go
  } modes[] = {{L"", L"/u", HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER},
               {L"/n /i:user", L"/u /n /i:user", HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}};
  for (const auto& mode : modes) {
    ASSERT_EQ(RunRegsvr32(mode.install), 0u);
    for (const Expected& entry : ClassEntries()) {
      const std::wstring key = L"Software\\Classes\\" + entry.key;
      EXPECT_TRUE(KeyExists(mode.classes, key)) << key;
      if (!entry.data.empty()) {
        EXPECT_EQ(Text(mode.classes, key, entry.name), entry.data) << key;
      }
      if (entry.key.rfind(L"QuillanShellUI.", 0) == 0 || entry.key.find(L"InprocServer32") != std::wstring::npos ||
          entry.key.find(L"VelQuillanBarUI") != std::wstring::npos) {
        EXPECT_FALSE(KeyExists(mode.other, key)) << key;
      }
    }
    // The browser helper's key stays the machine's, empty, whatever the mode.
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kHelpers + L"\\" + kBand));
    EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, kHelpers + L"\\" + kBand, L""), L"(none)");
    EXPECT_TRUE(TypeLibraryRegistered());
    if (mode.classes == HKEY_LOCAL_MACHINE) {  // COM activates from the machine's classes only under Wine
      EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"CLSID\\" + kBand + category));
      EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"CLSID\\" + kMenu + category));
      for (const wchar_t* iid : {L"{E3439D78-72E2-4D3F-9AF4-5413379A4E81}", L"{09BEC1A8-BE09-4A86-8586-77C4546235DC}"}) {
        CLSID proxyStub = CLSID_NULL;
        EXPECT_EQ(::CoGetPSClsid(test::Guid(iid), &proxyStub), S_OK);
        EXPECT_TRUE(IsEqualCLSID(proxyStub, test::kShellContextMenuIid));
      }
      ComPtr<IUnknown> band, menu;
      EXPECT_EQ(::CoCreateInstance(test::kBandClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IObjectWithSite, band.PutVoid()), S_OK);
      EXPECT_EQ(::CoCreateInstance(test::kMenuClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IContextMenu, menu.PutVoid()), S_OK);
    }

    // Undone: every entry of ours goes, and the keys and entries of others stay as they were.
    ASSERT_EQ(RunRegsvr32(mode.uninstall), 0u);
    for (const Expected& entry : ClassEntries()) EXPECT_FALSE(KeyExists(mode.classes, L"Software\\Classes\\" + entry.key)) << entry.key;
    for (const wchar_t* iid : {L"{E3439D78-72E2-4D3F-9AF4-5413379A4E81}", L"{09BEC1A8-BE09-4A86-8586-77C4546235DC}"}) {
      EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, std::wstring(L"Interface\\") + iid)) << iid;
    }
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kHelpers + L"\\" + kBand));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kHelpers + L"\\" + kOther));
    for (const std::wstring& handlers : kHandlers) {
      EXPECT_EQ(Text(mode.classes, L"Software\\Classes\\" + handlers + L"\\ContextMenuHandlers\\OtherProduct", L""), kOther);
    }
    for (const wchar_t* kind : {L"AppID\\", L"CLSID\\"}) {
      EXPECT_EQ(Text(mode.classes, std::wstring(L"Software\\Classes\\") + kind + kOther, L""), L"other");
    }
    EXPECT_FALSE(TypeLibraryRegistered());
    ComPtr<IUnknown> gone;
    EXPECT_EQ(::CoCreateInstance(test::kBandClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, gone.PutVoid()),
              REGDB_E_CLASSNOTREG);
  }
}

TEST_F(Registration, OnlyTheWordUserInAnyCaseMeansPerUser) {
  const std::wstring userBand = L"Software\\Classes\\CLSID\\" + kBand + L"\\InprocServer32";
  ASSERT_EQ(RunRegsvr32(L"/n /i:USER"), 0u);
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, userBand));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, userBand));
  ASSERT_EQ(RunRegsvr32(L"/u /n /i:uSeR"), 0u);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, userBand));
  ASSERT_EQ(RunRegsvr32(L"/n /i:users"), 0u);
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, userBand));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, userBand));
}

}  // namespace
}  // namespace quillan
