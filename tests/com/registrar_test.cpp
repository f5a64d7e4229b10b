#include "base/registrar.h"

#include <shlwapi.h>

#include <gtest/gtest.h>

#include "com_test_support.h"

namespace quillan {
namespace {

using test::EnsureKey;
using test::KeyExists;
using test::ReadText;

const wchar_t kRoot[] = L"Software\\QuillanRegistrarTest";
const wchar_t kUserClassesKey[] = L"Software\\Classes\\QuillanRegistrarTest";

std::wstring Key(const std::wstring& relative) { return std::wstring(kRoot) + L"\\" + relative; }

class RegistrarTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::DeleteTree(HKEY_CURRENT_USER, kRoot);
    test::DeleteTree(HKEY_CURRENT_USER, kUserClassesKey);
    registrar_.AddReplacement(L"APPID", L"{B603F513-FD46-47F3-B879-112CB9D1F685}");
    registrar_.AddReplacement(L"MODULE", L"C:\\Program Files\\O'Brien {1}\\x.dll");
  }
  void TearDown() override {
    test::DeleteTree(HKEY_CURRENT_USER, kRoot);
    test::DeleteTree(HKEY_CURRENT_USER, kUserClassesKey);
  }
  Registrar registrar_;
};

// The keys of one product under shared parents, the way the module's scripts are laid out.
const wchar_t kScript[] = LR"(HKCU
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

TEST_F(RegistrarTest, WritesKeysAndValuesAndTakesBackOnlyItsOwn) {
  // Left from an older version, and other products' keys and values.
  ASSERT_TRUE(EnsureKey(HKEY_CURRENT_USER, Key(L"Forced\\Stale")));
  ASSERT_TRUE(EnsureKey(HKEY_CURRENT_USER, Key(L"Shared\\Theirs")));
  ASSERT_EQ(::SHSetValueW(HKEY_CURRENT_USER, Key(L"Shared").c_str(), L"TheirValue", REG_SZ, L"y", 4), 0);

  ASSERT_EQ(registrar_.RegisterScript(kScript), S_OK);
  std::wstring text;
  EXPECT_TRUE(ReadText(HKEY_CURRENT_USER, Key(L"Plain Key"), L"", &text) && text == L"Orrin状态栏");
  EXPECT_TRUE(ReadText(HKEY_CURRENT_USER, Key(L"Plain Key\\Inner"), L"", &text) &&
              text == L"C:\\Program Files\\O'Brien {1}\\x.dll");
  EXPECT_TRUE(ReadText(HKEY_CURRENT_USER, Key(L"Plain Key\\Inner"), L"ThreadingModel", &text) && text == L"Apartment");
  DWORD number = 0;
  DWORD bytes = sizeof number;
  DWORD type = 0;
  EXPECT_EQ(::SHGetValueW(HKEY_CURRENT_USER, Key(L"Plain Key\\Inner").c_str(), L"Count", &type, &number, &bytes), 0);
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(number, 42u);
  EXPECT_TRUE(ReadText(HKEY_CURRENT_USER, Key(L"Forced"), L"", &text) &&
              text == L"it's 100% {B603F513-FD46-47F3-B879-112CB9D1F685}");
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, Key(L"Forced\\Stale")));  // ForceRemove starts afresh
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, Key(L"Forced\\Child")));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, Key(L"Shared\\Ours")));

  // Someone else's key below one of ours keeps it alive, except below a ForceRemove key.
  ASSERT_TRUE(EnsureKey(HKEY_CURRENT_USER, Key(L"Plain Key\\Inner\\Theirs")));
  ASSERT_TRUE(EnsureKey(HKEY_CURRENT_USER, Key(L"Forced\\Child\\Theirs")));
  ASSERT_EQ(registrar_.UnregisterScript(kScript), S_OK);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, Key(L"Forced")));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, Key(L"Plain Key\\Inner\\Theirs")));
  EXPECT_FALSE(ReadText(HKEY_CURRENT_USER, Key(L"Plain Key\\Inner"), L"ThreadingModel", &text));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, Key(L"Shared\\Ours")));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, Key(L"Shared\\Theirs")));
  EXPECT_FALSE(ReadText(HKEY_CURRENT_USER, Key(L"Shared"), L"Mine", &text));
  EXPECT_TRUE(ReadText(HKEY_CURRENT_USER, Key(L"Shared"), L"TheirValue", &text));

  // NoRemove keys stay even when empty; a second run finds nothing to do.
  test::DeleteTree(HKEY_CURRENT_USER, Key(L"Plain Key\\Inner\\Theirs"));
  test::DeleteTree(HKEY_CURRENT_USER, Key(L"Shared\\Theirs"));
  ASSERT_EQ(registrar_.UnregisterScript(kScript), S_OK);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, Key(L"Plain Key")));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, Key(L"Shared")));
  EXPECT_EQ(registrar_.UnregisterScript(kScript), S_OK);
}

TEST_F(RegistrarTest, PerUserPutsClassesRootUnderTheUsersClasses) {
  const wchar_t script[] = L"HKCR { QuillanRegistrarTest = s 'user' { Sub = s 'v' } }";
  registrar_.SetPerUser(true);
  ASSERT_EQ(registrar_.RegisterScript(script), S_OK);
  std::wstring text;
  EXPECT_TRUE(ReadText(HKEY_CURRENT_USER, std::wstring(kUserClassesKey) + L"\\Sub", L"", &text) && text == L"v");
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, L"Software\\Classes\\QuillanRegistrarTest"));
  ASSERT_EQ(registrar_.UnregisterScript(script), S_OK);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kUserClassesKey));
}

TEST_F(RegistrarTest, FaultyScriptsWriteNothing) {
  const wchar_t* scripts[] = {
      L"HKCU { Software { QuillanRegistrarTest { A } }",                    // a brace missing
      L"HKCU { Software { QuillanRegistrarTest { A } } } }",                // one too many
      L"HKXX { Software { QuillanRegistrarTest { A } } }",                  // unknown root
      L"HKCU { Software { QuillanRegistrarTest { A = s '%NOPE%' } } }",     // unknown replacement
      L"HKCU { Software { QuillanRegistrarTest { A = s 'open } } }",        // unterminated text
      L"HKCU { Software { QuillanRegistrarTest { A = d 0x100000000 } } }",  // too big for a DWORD
      L"HKCU { Software { QuillanRegistrarTest { A = x 'y' } } }",          // unknown type
      L"HKCU { val A = s 'y' Software { QuillanRegistrarTest } }",          // value outside a key
      L"HKCU { Software { QuillanRegistrarTest { 'A\\B' } } }",             // a path, not a name
  };
  for (const wchar_t* script : scripts) {
    EXPECT_TRUE(FAILED(registrar_.RegisterScript(script))) << script;
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kRoot)) << script;
  }
  EXPECT_TRUE(FAILED(registrar_.RegisterResource(nullptr, 102)));  // no such script
}

}  // namespace
}  // namespace quillan
