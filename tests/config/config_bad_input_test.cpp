// Hostile and broken files on disk: never a crash, never a read past a buffer, only fewer entries.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "base/handle.h"
#include "config/non_synced_folder_list.h"
#include "config_tree.h"

namespace quillan {
namespace {

using test::ConfigTree;
using test::WriteIni;
using Lines = std::vector<std::wstring>;

TEST(ConfigBadInput, GarbageAndBinaryIniFiles) {
  const unsigned seed = std::random_device()();
  std::printf("seed %u\n", seed);
  std::mt19937 random(seed);
  ConfigTree tree;
  Lines expected{tree.Folder(L"Good")};
  tree.AddSyncAccount(L"U0", L"E0", expected[0]);
  for (int i = 1; i <= 20; ++i) {
    const std::wstring id = std::to_wstring(i), folder = tree.Folder(L"F" + id);
    const std::wstring account = tree.AddSyncAccount(L"U" + id, L"E" + id, folder);
    const std::wstring profile = tree.AddProfileAccount(L"U" + id, L"E" + id, L"x\\F" + id + L"|" + tree.appData());
    std::string junk(1 + random() % 3000, '\0');
    for (char& c : junk) c = static_cast<char>(random());
    if (i % 2 == 0) junk = "\xFF\xFE" + junk;  // claims UTF-16
    switch (i % 4) {
      case 0:  // the profile tree, which finds nothing here anyway
        test::WriteBytes(profile + L"\\config.ini", junk);
        expected.push_back(folder);
        break;
      case 1:  // the junctions: the account's own folder stays
        test::WriteBytes(account + L"\\junction.ini", "[junction]\r\n" + junk + "\r\na|" + junk);
        expected.push_back(folder);
        break;
      case 2:
        test::WriteBytes(account + L"\\config.ini", "[user]\r\nsyncpathenterprise=" + junk);
        break;
      case 3:
        test::WriteBytes(folder + L"\\desktop.ini", junk);
        break;
    }
  }
  SyncConfig config(tree.appData());
  config.LoadAccounts();
  Lines folders;
  for (const AccountEntry& e : config.Entries()) folders.push_back(e.syncFolder);
  std::sort(folders.begin(), folders.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(folders, expected);
}

TEST(ConfigBadInput, ValuesAreCutToTheirBuffers) {
  ConfigTree tree;
  const std::wstring cloud = tree.Folder(L"Cloud");
  const std::wstring account = tree.AddSyncAccount(L"U1", L"E1", cloud, std::wstring(600, L'n'), std::wstring(520, L'e'));
  tree.UserConfig(L"U1", std::wstring(519, L'u'), std::wstring(5000, L'h'));
  // A section bigger than its buffer: lines past its 32768 characters are lost, earlier ones kept.
  const std::wstring early = tree.Folder(L"EarlyJunction"), late = tree.Folder(L"LateJunction");
  ConfigTree::SyncDesktopIni(early, L"U1", L"E1");
  ConfigTree::SyncDesktopIni(late, L"U1", L"E1");
  std::wstring section = L"[junction]\r\nearly|" + early + L"\r\n";
  for (int i = 0; i < 400; ++i) section += L"filler" + std::to_wstring(i) + L"|" + std::wstring(100, L'f') + L"\r\n";
  WriteIni(account + L"\\junction.ini", section + L"late|" + late + L"\r\n");

  SyncConfig config(tree.appData());
  config.LoadAccounts();
  ASSERT_EQ(config.Entries().size(), 2u);
  EXPECT_EQ(config.Entries()[0].syncFolder, early);
  const AccountEntry& e = config.Entries()[1];
  EXPECT_EQ(e.syncFolder, cloud);
  EXPECT_EQ(e.nickname + e.enterpriseName + e.userName + e.avatarImage,
            std::wstring(519, L'n') + std::wstring(519, L'e') + std::wstring(519, L'u') + std::wstring(519, L'h'));

  // The sync folder value keeps 2079 characters. "\." steps lengthen a short path (the ini functions
  // refuse paths that stay longer than MAX_PATH); one character more or less names no folder of that length.
  const std::wstring other = tree.Folder(cloud.size() % 2 ? L"Other" : L"Other2");
  std::wstring dotted = other;
  while (dotted.size() < 2079) dotted += L"\\.";
  ASSERT_EQ(dotted.size(), 2079u);
  ConfigTree::SyncDesktopIni(other, L"U2", L"E2");
  tree.AddSyncAccount(L"U2", L"E2", dotted + L"zz");
  config.LoadAccounts();
  ASSERT_EQ(config.Entries().size(), 3u);
  EXPECT_EQ(config.Entries()[0].syncFolder, dotted);
  AccountEntry found;
  EXPECT_TRUE(config.FindAccount(dotted + L"\\x", &found));
}

TEST(ConfigBadInput, LockedDesktopIniHidesItsFolder) {
  ConfigTree tree;
  const std::wstring cloud = tree.Folder(L"Cloud");
  tree.AddSyncAccount(L"U1", L"E1", cloud);
  SyncConfig config(tree.appData());
  UniqueFile locked(::CreateFileW((cloud + L"\\desktop.ini").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(locked);
  config.LoadAccounts();
  EXPECT_TRUE(config.Entries().empty());
  locked.reset();
  config.LoadAccounts();
  EXPECT_EQ(config.Entries().size(), 1u);
}

TEST(ConfigBadInput, ListFilesThatNeverEndOrAreHuge) {
  test::TempDir dir;
  // A pipe whose server never writes must not block the reader (the test would time out).
  const std::wstring pipe = L"\\\\.\\pipe\\quillan-list-" + std::to_wstring(::GetCurrentProcessId());
  UniqueFile server(::CreateNamedPipeW(pipe.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 1, 4096, 4096, 0, nullptr));
  ASSERT_TRUE(server);
  std::wstring text = L"x";
  EXPECT_TRUE(ReadTextFile(pipe, &text));
  EXPECT_EQ(text, L"");

  // Only the first 64 MiB are read: the last line feed read is the cap's last byte.
  std::string big = "\\First\n";
  big.resize(0x4000000 - 1, 'x');
  const std::wstring f = dir / L"list.dat";
  ASSERT_TRUE(test::WriteBytes(f, big + "\n\\Beyond\n"));
  Lines list;
  EXPECT_TRUE(ReadNonSyncedFile(f, &list));
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[1].size(), 0x4000000u - 8);
}

TEST(ConfigBadInput, PathsLongerThanMaxPath) {
  ConfigTree tree;
  std::wstring root = tree.appData();
  for (int depth = 0; depth < 60; ++depth) root += L"\\level" + std::to_wstring(depth);
  ASSERT_TRUE(test::MakeDirs(root));
  // A profile-tree candidate that would not fit MAX_PATH is skipped, not cut.
  ConfigTree::ProfileDesktopIni(root + L"\\Root\\Alpha", L"U1", L"E1");
  WriteIni(root + L"\\VelQuillanWin\\" + AccountFolderName(L"U1", L"E1") + L"\\config.ini",
           L"[user]\r\nsyncpathenterprise=x\\Alpha|" + root + L"\\Root\r\n");
  SyncConfig config(root);
  config.LoadAccounts();
  EXPECT_TRUE(config.Entries().empty());
  // The list itself is read with the file functions, which take the long path.
  NonSyncedFolderList list(root);
  list.SetAccount(L"U1", L"E1");
  list.SetSyncFolder(L"D:\\S");
  test::WriteAnsiFile(root + L"\\VelQuillan\\sync\\" + AccountFolderName(L"U1", L"E1") + L"\\notsyncdir.dat", L"\\Deep\n");
  list.Load();
  EXPECT_EQ(list.EntryCount(), 1u);
  EXPECT_TRUE(list.IsSelectionExcluded({L"d:\\s\\deep\\x"}));
}

}  // namespace
}  // namespace quillan
