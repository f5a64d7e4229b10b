#include "config/sync_config.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/text.h"
#include "config/hash.h"
#include "test_support.h"

namespace quillan {
namespace {

using Strings = std::vector<std::wstring>;

using test::WriteIni;
// The config.ini of an account folder in a tree (AppData\VelQuillan\sync or AppData\VelQuillanWin).
std::wstring Account(const std::wstring& tree, const std::wstring& name, const std::wstring& folders,
                     const std::wstring& moreLines = L"") {
  WriteIni(tree + L"\\" + name + L"\\config.ini", L"[user]\r\nsyncpathenterprise=" + folders + L"\r\n" + moreLines);
  return tree + L"\\" + name;
}
// A candidate folder's desktop.ini: section "veltarnbox" (sync tree) or "velcloud" (profile tree).
void DesktopIni(const std::wstring& folder, const std::wstring& section, const std::wstring& userId,
                const std::wstring& enterpriseId, const std::wstring& moreLines = L"") {
  WriteIni(folder + L"\\desktop.ini",
           L"[" + section + L"]\r\nxid=" + userId + L"\r\neid=" + enterpriseId + L"\r\n" + moreLines);
}

std::wstring Md5(const std::string& s) { return DigestHex(s.data(), s.size(), 0); }
std::wstring Sha1(const std::string& s) { return DigestHex(s.data(), s.size(), 1); }

TEST(Digest, PublishedVectors) {
  EXPECT_EQ(Md5(""), L"d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(Md5("abc"), L"900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(Md5("144"), L"0a09c8844ba8f0936c20bd791130d6b6");  // leading byte 0x0a keeps its zero
  EXPECT_EQ(Sha1(""), L"da39a3ee5e6b4b0d3255bfef95601890afd80709");
  EXPECT_EQ(DigestHex("abc", 3, -7), L"a9993e364706816aba3e25717850c26c9cd0d89d");  // any mode but 0 is SHA-1
}

// Around the lengths where the bit count no longer fits the last block, fed whole and split at every point.
TEST(Digest, BlockBoundariesAndSplitUpdates) {
  const struct {
    size_t length;
    const wchar_t* md5;
    const wchar_t* sha1;
  } cases[] = {
      {55, L"52c0e574e1198de5fe3f8f11440dcb1b", L"ddf57317ef34bfee3b6df83d359098930eb278bc"},
      {56, L"46c9907fc908ee68b1e7b8e71286a518", L"a0d492bb0fc889d0eca3bc137066ab6f4f74f369"},
      {64, L"7160b8fb5e9e4023d549c3971fbaeead", L"bede92be29c3874e1b54ddc77988d606fc857a8e"},
      {65, L"70bd662e7aefbda85a0f7244167b7897", L"b05a80522b053d6dc7e0a517d0e70212c7dad11f"},
      {120, L"e3eb5a6c8669ea01a8c185b8abc8a5dc", L"82134b02fb3f702491be9bed581eeab59334acb2"},
  };
  for (const auto& c : cases) {
    std::string data;
    for (size_t i = 0; i < c.length; ++i) data.push_back(static_cast<char>(i * 7 + 3));
    for (size_t cut = 0; cut <= data.size(); ++cut) {
      for (int mode : {0, 1}) {
        CHash hash(mode);
        hash.Update(data.data(), cut);
        hash.Update(data.data() + cut, data.size() - cut);
        ASSERT_EQ(hash.Final(), mode == 0 ? c.md5 : c.sha1) << "length " << c.length << " cut " << cut;
        ASSERT_EQ(hash.result(), mode == 0 ? c.md5 : c.sha1);
      }
    }
  }
}

TEST(SyncConfig, NamesAndPathText) {
  EXPECT_EQ(AccountFolderName(L"U1", L"E1"), L"28808d6c6da9585d7b98e2a2aaf17630");  // "user_u1 eid_e1"
  EXPECT_EQ(AccountFolderName(L"u1", L"e1"), L"28808d6c6da9585d7b98e2a2aaf17630");
  EXPECT_EQ(UserFolderName(L"U1"), L"4bb6369f54d5a7ce4509ee3118d769bf");  // "user_u1"
  // Only A-Z change case: the full-width letter is digested as it stands.
  EXPECT_EQ(AccountFolderName(L"Z\uFF21", L"E"), L"47c1b7860d4825924ef7a8590e89ea8f");  // "user_z\uFF21 eid_e"
  // Non-ASCII ids are digested in the ANSI code page (936 here), not in UTF-8 or UTF-16.
  EXPECT_EQ(AccountFolderName(L"\u5F20\u4E09", L"E1"), L"ca45a4095001e88ac07441b84e8edbab");
  EXPECT_EQ(UserFolderName(L"\u5F20\u4E09"), L"55e2972a68e32f6ddbab1014eb8fc16d");

  EXPECT_EQ(JoinPath(L"C:\\a\\\\", L"\\\\b/c"), L"C:\\a\\b\\c");
  EXPECT_EQ(JoinPath(L"a\\\\\\\\b", L"c"), L"a\\\\b\\c");  // one pass halves each run
  EXPECT_EQ(JoinPath(L"a//", L"//b"), L"a\\b");

  char out[8] = {};
  EXPECT_EQ(PercentDecode("a%41+%7e", out, 7), 4u);
  EXPECT_STREQ(out, "aA+~");
  std::fill(std::begin(out), std::end(out), '\0');
  EXPECT_EQ(PercentDecode("abcdef", out, 3), 3u);  // bytes beyond the room are dropped
  EXPECT_EQ(std::string(out, 4), std::string("abc\0", 4));
  EXPECT_EQ(DecodeFileUrl(L"d:\\cloud\\%e6%96%87%E4%BB%B6"), L"d:\\cloud\\\u6587\u4EF6");
  // 519 bytes of room: 600 ASCII characters keep 519, three-byte characters keep 173 whole ones.
  EXPECT_EQ(DecodeFileUrl(std::wstring(600, L'x')), std::wstring(519, L'x'));
  std::wstring escaped;
  for (int i = 0; i < 300; ++i) escaped += L"%E6%96%87";
  EXPECT_EQ(DecodeFileUrl(escaped), std::wstring(173, L'\u6587'));
}

// Both trees at once: every folder whose own desktop.ini names the ids of the account folder that points
// at it, longest first, and nothing else.
TEST(SyncConfig, LoadAccountsTakesOnlyFoldersWhoseIdsNameTheirAccountFolder) {
  test::TempDir dir;
  const std::wstring root = dir.path(), sync = root + L"\\VelQuillan\\sync", profile = root + L"\\VelQuillanWin";
  const std::wstring u1 = AccountFolderName(L"U1", L"E1"), u2 = AccountFolderName(L"U2", L"E1");
  // Sync tree: U1's folder and its junctions; "docs" replaces "Docs"; a file, a missing folder, a line
  // without "|", one without a name and another account's folder are dropped.
  DesktopIni(root + L"\\Cloud", L"veltarnbox", L"U1", L"E1", L"nickname=\u6635\u79F0\r\nenterprisename=\u4F01\u4E1A");
  for (const wchar_t* folder : {L"\\A", L"\\Bb", L"\\Ccc", L"\\Renamed"}) {
    DesktopIni(root + folder, L"veltarnbox", L"U1", L"E1");
  }
  DesktopIni(root + L"\\Dddd", L"veltarnbox", L"U1", L"E1", L"nickname=" + std::wstring(600, L'n'));
  DesktopIni(root + L"\\Stranger", L"veltarnbox", L"U2", L"E1");
  WriteIni(Account(sync, u1, root + L"\\Cloud") + L"\\junction.ini",
           L"[junction]\r\nDocs|" + root + L"\\A\r\nzz|" + root + L"\\Ccc\r\ndocs| " + root + L"\\Bb \r\nyy|" + root +
               L"\\Dddd\r\nfile|" + root + L"\\Dddd\\desktop.ini\r\ngone|" + root + L"\\Missing\r\nnobar " + root +
               L"\\A\r\n|" + root + L"\\A\r\nother|" + root + L"\\Stranger\r\n",
           /*ansi=*/true);
  WriteIni(sync + L"\\" + UserFolderName(L"U1") + L"\\config.ini", L"[user]\r\nusername=alice\r\nheader_image=a.png");
  // U1's folders behind U2's account folders (renamed), in both trees; the right digest in upper case.
  Account(sync, u2, root + L"\\Renamed");
  DesktopIni(root + L"\\Old\\P", L"velcloud", L"U1", L"E1");
  Account(profile, u2, L"C:\\x\\P|" + root + L"\\Old");
  std::wstring upper = AccountFolderName(L"U3", L"E3");
  std::transform(upper.begin(), upper.end(), upper.begin(), ::towupper);
  DesktopIni(root + L"\\Upper", L"veltarnbox", L"U3", L"E3");
  Account(sync, upper, root + L"\\Upper");
  // Profile tree: each token's leaf under the last token; another account's ids, a missing folder and a
  // value of one token give nothing.
  DesktopIni(root + L"\\Root\\Alpha", L"velcloud", L"U1", L"E1");
  DesktopIni(root + L"\\Root\\Beta", L"velcloud", L"U1", L"E1");
  DesktopIni(root + L"\\Root\\Gamma", L"velcloud", L"U9", L"E1");
  Account(profile, u1, L"|C:\\x\\Alpha||C:\\x\\Beta|Gamma|Missing|" + root + L"\\Root|",
          L"username=bob\r\nnickname=Bobby\r\nenterprisename=Acme\r\nheader_image=b.png\r\n");
  DesktopIni(root + L"\\Solo", L"velcloud", L"U2", L"E2");
  Account(profile, AccountFolderName(L"U2", L"E2"), root + L"\\Solo");

  SyncConfig config(root);
  config.LoadAccounts();
  Strings entries;
  for (const AccountEntry& e : config.Entries()) {
    entries.push_back(e.syncFolder.substr(root.size()) + L"|" + std::to_wstring(e.loggedIn) + L"|" + e.userId + L"|" +
                      e.enterpriseId + L"|" + e.nickname + L"|" + e.enterpriseName + L"|" + e.userName + L"|" +
                      e.avatarImage);
  }
  EXPECT_EQ(entries, (Strings{L"\\Root\\Alpha|1|U1|E1|Bobby|Acme|bob|b.png",
                              L"\\Root\\Beta|1|U1|E1|Bobby|Acme|bob|b.png",
                              L"\\Cloud|0|U1|E1|\u6635\u79F0|\u4F01\u4E1A|alice|a.png",
                              L"\\Dddd|0|U1|E1|" + std::wstring(519, L'n') + L"||alice|a.png",
                              L"\\Ccc|0|U1|E1|||alice|a.png", L"\\Bb|0|U1|E1|||alice|a.png"}));
  test::RemoveTree(sync);  // every call starts from nothing
  test::RemoveTree(profile);
  config.LoadAccounts();
  EXPECT_TRUE(config.Entries().empty());
}

TEST(SyncConfig, FindAccountPrefersTheLongestSyncFolder) {
  test::TempDir dir;
  const std::wstring root = dir.path();
  DesktopIni(root + L"\\Cloud", L"veltarnbox", L"U1", L"E1");
  Account(root + L"\\VelQuillan\\sync", AccountFolderName(L"U1", L"E1"), root + L"\\Cloud");
  DesktopIni(root + L"\\a", L"veltarnbox", L"U4", L"E4");
  Account(root + L"\\VelQuillan\\sync", AccountFolderName(L"U4", L"E4"), root + L"\\a");
  // The inner folder comes from the other tree, read second: the order is not reading order.
  DesktopIni(root + L"\\Cloud\\Team", L"velcloud", L"U2", L"E2");
  Account(root + L"\\VelQuillanWin", AccountFolderName(L"U2", L"E2"), L"X:\\Team|" + root + L"\\Cloud");
  SyncConfig config(root);
  config.LoadAccounts();

  std::wstring url = L"file:///" + root;
  std::replace(url.begin(), url.end(), L'\\', L'/');
  const std::wstring lower = LowerAZ(root);
  const struct {
    std::wstring location;
    const wchar_t* owner;
  } rows[] = {
      {lower + L"\\cloud\\team\\x", L"U2"}, {lower + L"\\CLOUD", L"U1"}, {lower + L"\\cloudx\\team", L""},
      {L"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}", L""}, {L"", L""},
      // File URLs: "%43" is "C"; decoding stops at a bad escape or an escape of 0; without "file:///"
      // nothing is decoded.
      {url + L"/%43loud/%E6%96%87%E4%BB%B6/sub%20dir", L"U1"},
      {L"FILE:///" + url.substr(8) + L"/Cloud/Team/%41", L"U2"},
      {url + L"/%43loudx", L""}, {url + L"/a%zz/more", L"U4"}, {url + L"/a%2", L"U4"}, {url + L"/a%00/Cloud", L"U4"},
      {root + L"\\%43loud", L""},
      // "file:///" is removed in one pass: adjacent ones both go, one that a removal forms stays.
      {L"file:///" + url + L"/Cloud", L"U1"}, {L"fifile:///le:///" + url.substr(8) + L"/Cloud", L""},
  };
  for (const auto& row : rows) {
    AccountEntry found;
    EXPECT_EQ(config.FindAccount(row.location, &found) ? found.userId : L"", row.owner) << WideToUtf8(row.location);
  }
}

TEST(SyncConfig, ExplorerBarSwitch) {
  test::TempDir dir;
  const std::wstring file = dir / L"VelQuillan\\sync\\config.ini";
  EXPECT_EQ(IsExplorerBarEnabled(dir.path()), 1);  // no file
  WriteIni(file, L"[global]\r\nother=0\r\n");
  EXPECT_EQ(IsExplorerBarEnabled(dir.path()), 1);  // no key
  WriteIni(file, L"[GLOBAL]\r\nexplorer_bar=0\r\n");
  EXPECT_EQ(IsExplorerBarEnabled(dir.path()), 0);
  WriteIni(file, L"[global]\r\nexplorer_bar=1\r\n", true);
  EXPECT_EQ(IsExplorerBarEnabled(dir.path()), 1);
  EXPECT_EQ(IsExplorerBarEnabled(L""), 0);  // no path can be formed
  // AppData on a network share: the prefix maps \\quillan-server\share to C:\unc-share.
  const std::wstring local = L"C:\\unc-share\\AppData-" + std::to_wstring(::GetCurrentProcessId());
  WriteIni(local + L"\\VelQuillan\\sync\\config.ini", L"[global]\r\nexplorer_bar=0\r\n");
  EXPECT_EQ(IsExplorerBarEnabled(L"\\\\quillan-server\\share" + local.substr(12)), 0);
  test::RemoveTree(local);

  // The process-wide form reads the shell's AppData folder, on every call.
  const std::wstring appData = GetSpecialFolder(26);
  ASSERT_FALSE(appData.empty());
  ASSERT_FALSE(test::FileExists(appData + L"\\VelQuillan")) << "the prefix has the application's own tree";
  EXPECT_EQ(IsExplorerBarEnabled(), 1);
  WriteIni(appData + L"\\VelQuillan\\sync\\config.ini", L"[global]\r\nexplorer_bar=0\r\n");
  EXPECT_EQ(IsExplorerBarEnabled(), 0);
  test::RemoveTree(appData + L"\\VelQuillan");
}

}  // namespace
}  // namespace quillan
