#include "base/registrar.h"

#include <shlwapi.h>

#include <gtest/gtest.h>

#include "com_test_support.h"
#include "resource.h"

namespace quillan {
namespace {

using test::EnsureKey;
using test::KeyExists;
using test::ReadText;

const wchar_t kRoot[] = L"Software\\QuillanRegistrarTest";

class RegistrarTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::DeleteTree(HKEY_CURRENT_USER, kRoot);
    test::DeleteTree(HKEY_CURRENT_USER, L"Software\\Classes\\QuillanRegistrarTest");
  }
  void TearDown() override { SetUp(); }

  static std::wstring Key(const std::wstring& relative) { return std::wstring(kRoot) + L"\\" + relative; }
};

// The keys of one product under a shared parent, the way the module's scripts are laid out.
const wchar_t kScript[] =
    LR"(HKCU
{
  NoRemove Software
  {
    NoRemove QuillanRegistrarTest
    {
      'Plain Key' = s 'Orrin状态栏'
      {
        Inner = s '%MODULE%'
        {
          val ThreadingModel = s 'Apartment'
          val Count = d 0x2A
        }
      }
      ForceRemove Forced = s 'it''s 100%% %appid%'
      {
        Child
      }
      NoRemove Shared
      {
        val Mine = s 'x'
        Ours
      }
    }
  }
})";

Registrar MakeRegistrar() {
  Registrar registrar;
  registrar.AddReplacement(L"APPID", L"{B603F513-FD46-47F3-B879-112CB9D1F685}");
  registrar.AddReplacement(L"MODULE", L"C:\\Program Files\\O'Brien {1}\\x.dll");
  return registrar;
}

TEST_F(RegistrarTest, WritesEveryKeyAndValueWithReplacements) {
  ASSERT_EQ(MakeRegistrar().RegisterScript(kScript), S_OK);
  std::wstring text;
  ASSERT_TRUE(ReadText(HKEY_CURRENT_USER, Key(L"Plain Key"), L"", &text));
  EXPECT_EQ(text, L"Orrin状态栏");
  ASSERT_TRUE(ReadText(HKEY_CURRENT_USER, Key(L"Plain Key\\Inner"), L"", &text));
  EXPECT_EQ(text, L"C:\\Program Files\\O'Brien {1}\\x.dll");
  ASSERT_TRUE(ReadText(HKEY_CURRENT_USER, Key(L"Plain Key\\Inner"), L"ThreadingModel", &text));
  EXPECT_EQ(text, L"Apartment");
  DWORD number = 0;
  DWORD bytes = sizeof number;
  DWORD type = 0;
  ASSERT_EQ(::SHGetValueW(HKEY_CURRENT_USER, Key(L"Plain Key\\Inner").c_str(), L"Count", &type, &number, &bytes),
            static_cast<LSTATUS>(ERROR_SUCCESS));
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(number, 42u);
  ASSERT_TRUE(ReadText(HKEY_CURRENT_USER, Key(L"Forced"), L"", &text));
  EXPECT_EQ(text, L"it's 100% {B603F513-FD46-47F3-B879-112CB9D1F685}");
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, Key(L"Forced\\Child")));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, Key(L"Shared\\Ours")));
}

TEST_F(RegistrarTest, ForceRemoveStartsFreshAndUnregistrationKeepsWhatOthersOwn) {
  // Left from an older version, and keys of other products.
  ASSERT_TRUE(EnsureKey(HKEY_CURRENT_USER, Key(L"Forced\\Stale")));
  ASSERT_TRUE(EnsureKey(HKEY_CURRENT_USER, Key(L"Shared\\Theirs")));
  ASSERT_EQ(::SHSetValueW(HKEY_CURRENT_USER, Key(L"Shared").c_str(), L"TheirValue", REG_SZ, L"y", 4),
            static_cast<LSTATUS>(ERROR_SUCCESS));
  Registrar registrar = MakeRegistrar();
  ASSERT_EQ(registrar.RegisterScript(kScript), S_OK);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, Key(L"Forced\\Stale")));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, Key(L"Forced\\Child")));
  // Someone else's key below one of ours keeps it (and its parents) alive.
  ASSERT_TRUE(EnsureKey(HKEY_CURRENT_USER, Key(L"Plain Key\\Inner\\Theirs")));
  ASSERT_TRUE(EnsureKey(HKEY_CURRENT_USER, Key(L"Forced\\Child\\Theirs")));

  ASSERT_EQ(registrar.UnregisterScript(kScript), S_OK);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, Key(L"Forced")));  // deleted whole
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, Key(L"Plain Key\\Inner\\Theirs")));
  std::wstring text;
  EXPECT_FALSE(ReadText(HKEY_CURRENT_USER, Key(L"Plain Key\\Inner"), L"ThreadingModel", &text));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, Key(L"Shared\\Ours")));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, Key(L"Shared\\Theirs")));
  EXPECT_FALSE(ReadText(HKEY_CURRENT_USER, Key(L"Shared"), L"Mine", &text));
  EXPECT_TRUE(ReadText(HKEY_CURRENT_USER, Key(L"Shared"), L"TheirValue", &text));

  // NoRemove keys stay even when empty; a second run finds nothing to do.
  test::DeleteTree(HKEY_CURRENT_USER, Key(L"Plain Key"));
  test::DeleteTree(HKEY_CURRENT_USER, Key(L"Shared\\Theirs"));
  ASSERT_EQ(registrar.UnregisterScript(kScript), S_OK);
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, Key(L"Shared")));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kRoot));
}

TEST_F(RegistrarTest, PerUserPutsClassesRootUnderTheUsersClasses) {
  const wchar_t script[] = L"HKCR { QuillanRegistrarTest = s 'user' { Sub = s 'v' } }";
  Registrar registrar;
  registrar.SetPerUser(true);
  ASSERT_EQ(registrar.RegisterScript(script), S_OK);
  std::wstring text;
  ASSERT_TRUE(ReadText(HKEY_CURRENT_USER, L"Software\\Classes\\QuillanRegistrarTest\\Sub", L"", &text));
  EXPECT_EQ(text, L"v");
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, L"Software\\Classes\\QuillanRegistrarTest"));
  ASSERT_EQ(registrar.UnregisterScript(script), S_OK);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, L"Software\\Classes\\QuillanRegistrarTest"));
}

TEST_F(RegistrarTest, FaultyScriptsWriteNothing) {
  const wchar_t* scripts[] = {
      L"HKCU { Software { QuillanRegistrarTest { A } }",                      // a brace missing
      L"HKCU { Software { QuillanRegistrarTest { A } } } }",                  // one too many
      L"HKXX { Software { QuillanRegistrarTest { A } } }",                    // unknown root
      L"HKCU { Software { QuillanRegistrarTest { A = s '%NOPE%' } } }",       // unknown replacement
      L"HKCU { Software { QuillanRegistrarTest { A = s 'open } } }",          // unterminated text
      L"HKCU { Software { QuillanRegistrarTest { A = d 0x100000000 } } }",    // too big for a DWORD
      L"HKCU { Software { QuillanRegistrarTest { A = x 'y' } } }",            // unknown type
      L"HKCU { val A = s 'y' Software { QuillanRegistrarTest } }",            // value outside a key
      L"HKCU { Software { QuillanRegistrarTest { 'A\\B' } } }",               // a path, not a name
  };
  for (const wchar_t* script : scripts) {
    EXPECT_TRUE(FAILED(MakeRegistrar().RegisterScript(script))) << script;
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kRoot)) << script;
  }
}

TEST_F(RegistrarTest, ScriptsComeFromRegistryResources) {
  std::wstring script;
  ASSERT_TRUE(Registrar::LoadScript(nullptr, IDR_EXPLORERBAND, &script));
  EXPECT_NE(script.find(L"'QuillanShellUI.ExplorerBand.1' = s 'Orrin状态栏'"), std::wstring::npos);
  ASSERT_TRUE(Registrar::LoadScript(nullptr, IDR_SHELLCONTEXTMENU, &script));
  EXPECT_NE(script.find(L"Orrin右键菜单"), std::wstring::npos);
  EXPECT_FALSE(Registrar::LoadScript(nullptr, 102, &script));
  EXPECT_TRUE(FAILED(MakeRegistrar().RegisterResource(nullptr, 102)));
}

}  // namespace
}  // namespace quillan
