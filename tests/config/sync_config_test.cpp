#include "config/non_synced_folder_list.h"
#include "config/sync_config.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/text.h"
#include "config_tree.h"

namespace quillan {
namespace {

using test::ConfigTree;
using test::FileUrl;
using test::WriteIni;
using Strings = std::vector<std::wstring>;

Strings Folders(const SyncConfig& config) {
  Strings folders;
  for (const AccountEntry& e : config.Entries()) folders.push_back(e.syncFolder);
  return folders;
}

std::wstring Describe(const AccountEntry& e) {
  return std::to_wstring(e.loggedIn) + L"|" + e.userId + L"|" + e.enterpriseId + L"|" + e.nickname + L"|" +
         e.enterpriseName + L"|" + e.userName + L"|" + e.avatarImage;
}

TEST(AccountNames, DigestOfLowerCasedAnsiIds) {
  EXPECT_EQ(AccountFolderName(L"U1", L"E1"), L"28808d6c6da9585d7b98e2a2aaf17630");  // "user_u1 eid_e1"
  EXPECT_EQ(AccountFolderName(L"u1", L"e1"), AccountFolderName(L"U1", L"E1"));
  EXPECT_EQ(UserFolderName(L"U1"), L"4bb6369f54d5a7ce4509ee3118d769bf");  // "user_u1"
  // Non-ASCII ids are digested in the ANSI code page (936 here), not in UTF-8 or UTF-16.
  EXPECT_EQ(AccountFolderName(L"\u5F20\u4E09", L"E1"), L"ca45a4095001e88ac07441b84e8edbab");
  EXPECT_EQ(UserFolderName(L"\u5F20\u4E09"), L"55e2972a68e32f6ddbab1014eb8fc16d");
}

TEST(PathText, JoinPathAndPercentDecoding) {
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

TEST(SyncConfig, SyncTreeAccountWithJunctions) {
  ConfigTree tree;
  const std::wstring cloud = tree.Folder(L"Cloud"), a = tree.Folder(L"A"), b = tree.Folder(L"B"),
                     c = tree.Folder(L"C"), d = tree.Folder(L"D"), stranger = tree.Folder(L"Stranger");
  std::wstring account = tree.AddSyncAccount(L"U1", L"E1", cloud, L"\u6635\u79F0", L"\u4F01\u4E1A");
  tree.UserConfig(L"U1", L"alice", L"C:\\img\\a.png");
  for (const std::wstring& f : {a, b, c, d}) ConfigTree::SyncDesktopIni(f, L"U1", L"E1", L"n");
  ConfigTree::SyncDesktopIni(stranger, L"U2", L"E1");
  test::WriteBytes(tree.Folder(L"Files") + L"\\file.txt", "x");
  WriteIni(account + L"\\junction.ini",
           L"[junction]\r\nDocs|" + a + L"\r\nzz|" + c + L"\r\ndocs| " + b + L" \r\nyy|" + d +
               L"\r\nfile|" + tree.appData() + L"\\Files\\file.txt\r\ngone|" + tree.appData() + L"\\Missing\r\n" +
               L"nobar " + a + L"\r\n|" + a + L"\r\nother|" + stranger + L"\r\n",
           /*ansi=*/true);

  SyncConfig config(tree.appData());
  config.LoadAccounts();
  // "docs" replaced "Docs"; file, missing, unnamed and foreign folders are dropped. Longest first,
  // equal lengths in name order.
  EXPECT_EQ(Folders(config), (Strings{cloud, b, d, c}));
  EXPECT_EQ(Describe(config.Entries()[0]), L"0|U1|E1|\u6635\u79F0|\u4F01\u4E1A|alice|C:\\img\\a.png");
  EXPECT_EQ(Describe(config.Entries()[1]), L"0|U1|E1|n||alice|C:\\img\\a.png");

  test::RemoveTree(tree.SyncTree());  // every call starts from nothing
  config.LoadAccounts();
  EXPECT_TRUE(config.Entries().empty());
}

TEST(SyncConfig, FolderNameMustBeTheDigestOfItsIds) {
  ConfigTree tree;
  // U1/E1's sync folder behind the account folder of U2/E1 (renamed), in both trees.
  const std::wstring renamed = tree.Folder(L"Renamed");
  ConfigTree::SyncDesktopIni(renamed, L"U1", L"E1");
  WriteIni(tree.SyncTree() + L"\\" + AccountFolderName(L"U2", L"E1") + L"\\config.ini",
           L"[user]\r\nsyncpathenterprise=" + renamed + L"\r\n");
  ConfigTree::ProfileDesktopIni(tree.Folder(L"Root\\P"), L"U1", L"E1");
  tree.AddProfileAccount(L"U2", L"E1", L"C:\\old\\P|" + tree.appData() + L"\\Root");
  // The right digest in upper-case hexadecimal digits, and a hidden folder (leading ".").
  std::wstring upper = AccountFolderName(L"U3", L"E3");
  std::transform(upper.begin(), upper.end(), upper.begin(), ::towupper);
  for (const std::wstring& name : {upper, L"." + AccountFolderName(L"U3", L"E3")}) {
    WriteIni(tree.SyncTree() + L"\\" + name + L"\\config.ini", L"[user]\r\nsyncpathenterprise=" + renamed + L"\r\n");
  }
  ConfigTree::SyncDesktopIni(tree.Folder(L"Upper"), L"U3", L"E3");

  SyncConfig config(tree.appData());
  config.LoadAccounts();
  EXPECT_TRUE(config.Entries().empty());
  tree.AddSyncAccount(L"U1", L"E1", renamed);  // correctly named, it is found
  config.LoadAccounts();
  EXPECT_EQ(Folders(config), Strings{renamed});
}

TEST(SyncConfig, ProfileTreeTokens) {
  ConfigTree tree;
  const std::wstring root = tree.Folder(L"Root");
  for (const wchar_t* leaf : {L"\\Alpha", L"\\Beta"}) ConfigTree::ProfileDesktopIni(root + leaf, L"U1", L"E1");
  ConfigTree::ProfileDesktopIni(root + L"\\Gamma", L"U9", L"E1");  // another account's ids
  tree.AddProfileAccount(L"U1", L"E1", L"|C:\\x\\Alpha||C:\\x\\Beta|Gamma|Missing|" + root + L"|",
                         L"username=bob\r\nnickname=Bobby\r\nenterprisename=Acme\r\nheader_image=b.png\r\n");
  // One token is only a root: no candidate, though the root itself carries the right ids.
  ConfigTree::ProfileDesktopIni(tree.Folder(L"Solo"), L"U2", L"E2");
  tree.AddProfileAccount(L"U2", L"E2", tree.appData() + L"\\Solo");

  SyncConfig config(tree.appData());
  config.LoadAccounts();
  EXPECT_EQ(Folders(config), (Strings{root + L"\\Alpha", root + L"\\Beta"}));
  ASSERT_FALSE(config.Entries().empty());
  EXPECT_EQ(Describe(config.Entries()[0]), L"1|U1|E1|Bobby|Acme|bob|b.png");
}

TEST(SyncConfig, FindAccountPrefersTheLongestSyncFolder) {
  ConfigTree tree;
  const std::wstring cloud = tree.Folder(L"Cloud"), a = tree.Folder(L"a");
  tree.AddSyncAccount(L"U1", L"E1", cloud);
  tree.AddSyncAccount(L"U4", L"E4", a);
  // The inner folder comes from the other tree, read second: the order is not reading order.
  ConfigTree::ProfileDesktopIni(tree.Folder(L"Cloud\\Team"), L"U2", L"E2");
  tree.AddProfileAccount(L"U2", L"E2", L"X:\\Team|" + cloud);
  SyncConfig config(tree.appData());
  config.LoadAccounts();

  auto owner = [&](const std::wstring& location) {
    AccountEntry found;
    return config.FindAccount(location, &found) ? found.userId : L"none";
  };
  const std::wstring lower = LowerAZ(tree.appData());
  EXPECT_EQ(owner(lower + L"\\cloud\\team\\x"), L"U2");
  EXPECT_EQ(owner(lower + L"\\CLOUD"), L"U1");
  EXPECT_EQ(owner(lower + L"\\cloudx\\team"), L"none");
  EXPECT_EQ(owner(L"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}"), L"none");
  EXPECT_EQ(owner(L""), L"none");
  // File URLs ("%43" is "C": only the decoded location lies in Cloud); decoding stops at a bad escape
  // or an escape of 0; without "file:///" nothing is decoded.
  const std::wstring url = FileUrl(tree.appData());
  EXPECT_EQ(owner(url + L"/%43loud/%E6%96%87%E4%BB%B6/sub%20dir"), L"U1");
  EXPECT_EQ(owner(L"FILE:///" + url.substr(8) + L"/Cloud/Team/%41"), L"U2");
  EXPECT_EQ(owner(url + L"/%43loudx"), L"none");
  for (const wchar_t* stop : {L"/a%zz/more", L"/a%2", L"/a%00/Cloud"}) EXPECT_EQ(owner(url + stop), L"U4") << stop;
  EXPECT_EQ(owner(tree.appData() + L"\\%43loud"), L"none");
  // "file:///" is removed in one pass: adjacent ones both go, one that a removal forms stays.
  EXPECT_EQ(owner(L"file:///" + url + L"/Cloud"), L"U1");
  EXPECT_EQ(owner(L"fifile:///le:///" + url.substr(8) + L"/Cloud"), L"none");
}

TEST(SyncConfig, ExplorerBarSwitch) {
  ConfigTree tree;
  const std::wstring file = tree.SyncTree() + L"\\config.ini";
  EXPECT_EQ(IsExplorerBarEnabled(tree.appData()), 1);  // no file
  WriteIni(file, L"[global]\r\nother=0\r\n");
  EXPECT_EQ(IsExplorerBarEnabled(tree.appData()), 1);  // no key
  WriteIni(file, L"[GLOBAL]\r\nexplorer_bar=0\r\n");
  EXPECT_EQ(IsExplorerBarEnabled(tree.appData()), 0);
  WriteIni(file, L"[global]\r\nexplorer_bar=1\r\n", true);
  EXPECT_EQ(IsExplorerBarEnabled(tree.appData()), 1);
  EXPECT_EQ(IsExplorerBarEnabled(L""), 0);  // no path can be formed

  // The process-wide form reads the shell's AppData folder, on every call.
  const std::wstring appData = GetSpecialFolder(26);
  const std::wstring real = appData + L"\\VelQuillan\\sync\\config.ini";
  ASSERT_FALSE(appData.empty());
  ASSERT_FALSE(test::FileExists(appData + L"\\VelQuillan")) << "the prefix has the application's own tree";
  struct Cleanup {
    std::wstring folder;
    ~Cleanup() { test::RemoveTree(folder); }
  } cleanup{appData + L"\\VelQuillan"};
  EXPECT_EQ(IsExplorerBarEnabled(), 1);
  WriteIni(real, L"[global]\r\nexplorer_bar=0\r\n");
  EXPECT_EQ(IsExplorerBarEnabled(), 0);
}

// The prefix maps \\quillan-server\share to C:\unc-share (a link under dosdevices\unc).
TEST(SyncConfig, AppDataOnANetworkShare) {
  const std::wstring local = L"C:\\unc-share\\AppData-" + std::to_wstring(::GetCurrentProcessId());
  const std::wstring share = L"\\\\quillan-server\\share\\AppData-" + std::to_wstring(::GetCurrentProcessId());
  struct Cleanup {
    std::wstring folder;
    ~Cleanup() { test::RemoveTree(folder); }
  } cleanup{local};
  const std::wstring account = L"\\VelQuillan\\sync\\" + AccountFolderName(L"U1", L"E1");
  ASSERT_TRUE(test::MakeDirs(local + account));
  WriteIni(local + L"\\VelQuillan\\sync\\config.ini", L"[global]\r\nexplorer_bar=0\r\n");
  ASSERT_TRUE(test::FileExists(share + L"\\VelQuillan\\sync\\config.ini")) << "the share is not mapped";
  EXPECT_EQ(IsExplorerBarEnabled(share), 0);

  ASSERT_TRUE(test::WriteAnsiFile(local + account + L"\\notsyncdir.dat", L"\\Own\n"));
  ASSERT_TRUE(test::WriteAnsiFile(local + L"\\lists.dat", L"\\Other\n"));
  ASSERT_TRUE(test::WriteAnsiFile(local + L"\\VelQuillan\\sync\\IgnoreFilePath.txt", share + L"\\lists.dat"));
  NonSyncedFolderList list(share);
  list.SetAccount(L"U1", L"E1");
  list.SetSyncFolder(L"D:\\S");
  ASSERT_TRUE(list.Load());  // through the redirect on the share, which is consumed
  EXPECT_TRUE(list.IsSelectionExcluded({L"D:\\S\\Other\\x"}));
  EXPECT_FALSE(test::FileExists(local + L"\\VelQuillan\\sync\\IgnoreFilePath.txt"));
  ASSERT_TRUE(list.Load());
  EXPECT_TRUE(list.IsSelectionExcluded({L"D:\\S\\Own"}));
  EXPECT_FALSE(list.IsSelectionExcluded({L"D:\\S\\Other"}));
}

}  // namespace
}  // namespace quillan
