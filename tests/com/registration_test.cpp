// Self-registration through regsvr32 in the test prefix, per machine and per user.
#include <comcat.h>
#include <objbase.h>
#include <ocidl.h>
#include <oleauto.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "test_support.h"
#include "QuillanShellUI.h"
#include "base/com_ptr.h"
#include "base/handle.h"
#include "shell_dll.h"

namespace quillan {
namespace {

using test::RunRegsvr32;
using test::ShellDll;

const wchar_t kBand[] = L"{20B497C6-62FD-482A-9290-BD1BBEF85146}";
const wchar_t kMenu[] = L"{8E4B2A8F-956F-47F1-A069-ED7F1A2DF6CF}";
const wchar_t kLibrary[] = L"{295FA374-9546-431F-9CA2-97B51CE23627}";
const wchar_t kHelpers[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects";
const wchar_t kOtherHelper[] = L"{0F0F0F0F-1111-2222-3333-444455556666}";
const wchar_t kModule[] = L"<module>";

bool KeyExists(HKEY root, const std::wstring& path) {
  UniqueKey key;
  return ::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

// A REG_SZ value (name empty: the default value); false when the key or value is missing or not text.
bool ReadText(HKEY root, const std::wstring& path, const std::wstring& name, std::wstring* value) {
  wchar_t data[4096] = {};
  DWORD bytes = sizeof data - sizeof(wchar_t), type = 0;
  if (::SHGetValueW(root, path.c_str(), name.empty() ? nullptr : name.c_str(), &type, data, &bytes) != ERROR_SUCCESS ||
      type != REG_SZ) {
    return false;
  }
  *value = data;
  return true;
}

// Every key and value below path, one line each ("key" or "key|name|type|data").
void SnapshotInto(HKEY key, const std::wstring& path, std::vector<std::wstring>* lines) {
  lines->push_back(path);
  for (DWORD index = 0;; ++index) {
    wchar_t name[16384];
    DWORD nameChars = 16384;
    BYTE data[8192];
    DWORD dataBytes = sizeof data;
    DWORD type = 0;
    if (::RegEnumValueW(key, index, name, &nameChars, nullptr, &type, data, &dataBytes) != ERROR_SUCCESS) break;
    std::wstring text;
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
      text.assign(reinterpret_cast<const wchar_t*>(data), dataBytes / sizeof(wchar_t));
      while (!text.empty() && text.back() == 0) text.pop_back();
    } else {
      for (DWORD i = 0; i < dataBytes; ++i) text += std::to_wstring(data[i]) + L",";
    }
    lines->push_back(path + L"|" + name + L"|" + std::to_wstring(type) + L"|" + text);
  }
  for (DWORD index = 0;; ++index) {
    wchar_t name[256];
    DWORD nameChars = 256;
    if (::RegEnumKeyExW(key, index, name, &nameChars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    UniqueKey child;
    if (::RegOpenKeyExW(key, name, 0, KEY_READ, child.put()) == ERROR_SUCCESS) {
      SnapshotInto(child.get(), path + L"\\" + name, lines);
    }
  }
}


std::vector<std::wstring> Snapshot(HKEY root, const std::wstring& path) {
  std::vector<std::wstring> lines;
  UniqueKey key;
  if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS) SnapshotInto(key.get(), path, &lines);
  std::sort(lines.begin(), lines.end());
  return lines;
}

struct Expected {
  std::wstring key;  // below the classes root
  const wchar_t* name;
  const wchar_t* data;  // null: the key only
};

std::vector<Expected> ClassEntries() {
  const std::wstring band = std::wstring(L"CLSID\\") + kBand;
  const std::wstring menu = std::wstring(L"CLSID\\") + kMenu;
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
      {band + L"\\Programmable", nullptr, nullptr},
      {band + L"\\InprocServer32", L"", kModule},
      {band + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
      {band + L"\\TypeLib", L"", kLibrary},
      {L"QuillanShellUI.ShellContextMenu.1", L"", L"Orrin右键菜单"},
      {L"QuillanShellUI.ShellContextMenu.1\\CLSID", L"", kMenu},
      {L"QuillanShellUI.ShellContextMenu", L"", L"Orrin右键菜单"},
      {L"QuillanShellUI.ShellContextMenu\\CLSID", L"", kMenu},
      {L"QuillanShellUI.ShellContextMenu\\CurVer", L"", L"QuillanShellUI.ShellContextMenu.1"},
      {menu, L"", L"Orrin右键菜单"},
      {menu + L"\\ProgID", L"", L"QuillanShellUI.ShellContextMenu.1"},
      {menu + L"\\VersionIndependentProgID", L"", L"QuillanShellUI.ShellContextMenu"},
      {menu + L"\\Programmable", nullptr, nullptr},
      {menu + L"\\InprocServer32", L"", kModule},
      {menu + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
      {menu + L"\\TypeLib", L"", L"{}"},
  };
  for (const wchar_t* handlers : {L"*\\shellex", L"Directory\\Background\\ShellEx", L"Directory\\ShellEx",
                                  L"Folder\\ShellEx"}) {
    entries.push_back({std::wstring(handlers) + L"\\ContextMenuHandlers\\VelQuillanBarUI", L"", kMenu});
  }
  return entries;
}

// Where registration writes (root, path) and what it must leave as it found.
std::vector<std::pair<HKEY, std::wstring>> Watched(HKEY classesRoot, const std::wstring& classes) {
  std::vector<std::pair<HKEY, std::wstring>> watched;
  for (const wchar_t* key : {L"AppID", L"*\\shellex", L"Directory", L"Folder", L"QuillanShellUI.ExplorerBand",
                             L"QuillanShellUI.ExplorerBand.1", L"QuillanShellUI.ShellContextMenu",
                             L"QuillanShellUI.ShellContextMenu.1"}) {
    watched.emplace_back(classesRoot, classes + L"\\" + key);
  }
  for (const wchar_t* key : {kBand, kMenu, L"{E3439D78-72E2-4D3F-9AF4-5413379A4E81}"}) {
    watched.emplace_back(classesRoot, classes + L"\\CLSID\\" + key);
  }
  // The proxy/stub's keys are the machine's under Wine, whichever way the classes were registered.
  for (const wchar_t* key : {L"{E3439D78-72E2-4D3F-9AF4-5413379A4E81}", L"{09BEC1A8-BE09-4A86-8586-77C4546235DC}"}) {
    watched.emplace_back(HKEY_CLASSES_ROOT, std::wstring(L"Interface\\") + key);
  }
  watched.emplace_back(HKEY_LOCAL_MACHINE, kHelpers);
  return watched;
}

std::vector<std::vector<std::wstring>> TakeSnapshots(const std::vector<std::pair<HKEY, std::wstring>>& watched) {
  std::vector<std::vector<std::wstring>> snapshots;
  for (const auto& key : watched) snapshots.push_back(Snapshot(key.first, key.second));
  return snapshots;
}

// The platform-wide pieces: type library, proxy/stub and category, all under the machine's classes.
bool TypeLibraryRegistered() {
  ComPtr<ITypeLib> library;
  return SUCCEEDED(::LoadRegTypeLib(LIBID_QuillanShellLib, 1, 0, 0x409, library.Put()));
}

class Registration : public ::testing::Test {
 protected:
  void SetUp() override {
    Clean();
    // Keys that exist on every Windows system, and other products' entries beside ours.
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
      for (const wchar_t* key : {L"Software\\Classes\\AppID", L"Software\\Classes\\CLSID",
                                 L"Software\\Classes\\Directory\\Background\\ShellEx\\ContextMenuHandlers",
                                 L"Software\\Classes\\Directory\\ShellEx\\ContextMenuHandlers",
                                 L"Software\\Classes\\Folder\\ShellEx\\ContextMenuHandlers"}) {
        UniqueKey made;
        ASSERT_EQ(::RegCreateKeyExW(root, key, 0, nullptr, 0, KEY_WRITE, nullptr, made.put(), nullptr), ERROR_SUCCESS);
      }
      ASSERT_EQ(::SHSetValueW(root, L"Software\\Classes\\*\\shellex\\ContextMenuHandlers\\OtherProduct", nullptr,
                              REG_SZ, kOtherHelper, sizeof kOtherHelper),
                static_cast<LSTATUS>(ERROR_SUCCESS));
    }
    UniqueKey made;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, (std::wstring(kHelpers) + L"\\" + kOtherHelper).c_str(), 0, nullptr,
                                0, KEY_WRITE, nullptr, made.put(), nullptr),
              ERROR_SUCCESS);
  }

  void TearDown() override {
    Clean();
    ::SHDeleteKeyW(HKEY_LOCAL_MACHINE, (std::wstring(kHelpers) + L"\\" + kOtherHelper).c_str());
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
      ::SHDeleteKeyW(root, L"Software\\Classes\\*\\shellex\\ContextMenuHandlers\\OtherProduct");
    }
  }

  // Results ignored: whatever is left of an earlier run is to go, and nothing may be.
  static void Clean() {
    RunRegsvr32(L"/u /n /i:user");
    RunRegsvr32(L"/u");
    // Wine writes the category of a per-user registration under the machine's classes and takes back
    // only the category itself.
    for (const wchar_t* clsid : {kBand, kMenu}) {
      ::SHDeleteKeyW(HKEY_LOCAL_MACHINE, (std::wstring(L"Software\\Classes\\CLSID\\") + clsid).c_str());
    }
  }

  static void ExpectClassKeys(HKEY root, const std::wstring& classes) {
    for (const Expected& entry : ClassEntries()) {
      std::wstring key = classes + L"\\" + entry.key;
      if (!entry.data) {
        EXPECT_TRUE(KeyExists(root, key)) << key;
        continue;
      }
      std::wstring value;
      EXPECT_TRUE(ReadText(root, key, entry.name, &value)) << key << L" " << entry.name;
      EXPECT_EQ(value, entry.data == kModule ? ShellDll::Path() : std::wstring(entry.data)) << key;
    }
    std::wstring helper = std::wstring(kHelpers) + L"\\" + kBand;
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, helper));
    std::wstring value;
    EXPECT_FALSE(ReadText(HKEY_LOCAL_MACHINE, helper, L"", &value));
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
    auto watched = Watched(mode.classes, L"Software\\Classes");
    auto before = TakeSnapshots(watched);
    ASSERT_FALSE(TypeLibraryRegistered());

    ASSERT_EQ(RunRegsvr32(mode.install), 0u);
    ExpectClassKeys(mode.classes, L"Software\\Classes");
    for (const wchar_t* key : {L"QuillanShellUI.ExplorerBand", L"QuillanShellUI.ShellContextMenu.1",
                               L"AppID\\QuillanShellUI.DLL", L"CLSID\\{8E4B2A8F-956F-47F1-A069-ED7F1A2DF6CF}",
                               L"CLSID\\{20B497C6-62FD-482A-9290-BD1BBEF85146}\\InprocServer32",
                               L"Folder\\ShellEx\\ContextMenuHandlers\\VelQuillanBarUI"}) {
      EXPECT_FALSE(KeyExists(mode.other, std::wstring(L"Software\\Classes\\") + key)) << key;
    }
    EXPECT_TRUE(TypeLibraryRegistered());
    if (mode.classes == HKEY_LOCAL_MACHINE) {  // COM activates from the machine's classes only under Wine
      EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + kBand + category));
      EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + kMenu + category));
      for (const IID* iid : {&IID_IShellContextMenu, &IID_IExplorerBand}) {
        CLSID proxyStub = CLSID_NULL;
        EXPECT_EQ(::CoGetPSClsid(*iid, &proxyStub), S_OK);
        EXPECT_TRUE(IsEqualCLSID(proxyStub, IID_IShellContextMenu));
      }
      for (const auto& served : {std::make_pair(&CLSID_ExplorerBand, &IID_IObjectWithSite),
                                 std::make_pair(&CLSID_ShellContextMenu, &IID_IContextMenu)}) {
        ComPtr<IUnknown> object;
        EXPECT_EQ(::CoCreateInstance(*served.first, nullptr, CLSCTX_INPROC_SERVER, *served.second, object.PutVoid()), S_OK);
      }
    }

    ASSERT_EQ(RunRegsvr32(mode.uninstall), 0u);
    EXPECT_EQ(TakeSnapshots(watched), before);
    EXPECT_FALSE(TypeLibraryRegistered());
    ComPtr<IUnknown> gone;
    EXPECT_EQ(::CoCreateInstance(CLSID_ExplorerBand, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, gone.PutVoid()),
              REGDB_E_CLASSNOTREG);
  }
}

TEST_F(Registration, OnlyTheWordUserInAnyCaseMeansPerUser) {
  const std::wstring userBand = std::wstring(L"Software\\Classes\\CLSID\\") + kBand + L"\\InprocServer32";
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
