#include "account_files.h"

#include <gtest/gtest.h>

#include "base/text.h"
#include "config/sync_config.h"
#include "test_support.h"

namespace quillan::test {

void WriteIni(const std::wstring& path, const std::wstring& text, bool ansi) {
  EXPECT_TRUE(ansi ? WriteAnsiFile(path, text) : WriteUtf16File(path, text)) << WideToUtf8(path);
}

AccountFiles::~AccountFiles() {
  if (!owned_) return;
  RemoveTree(root_ + L"\\VelQuillan");
  RemoveTree(root_ + L"\\VelQuillanWin");
}

void AccountFiles::AddSyncAccount(const Account& a) {
  WriteIni(SyncTree() + L"\\" + AccountFolderName(a.userId, a.enterpriseId) + L"\\config.ini",
           L"[user]\r\nsyncpathenterprise=" + a.folder + L"\r\n");
  WriteIni(a.folder + L"\\desktop.ini", L"[veltarnbox]\r\nxid=" + a.userId + L"\r\neid=" + a.enterpriseId +
                                            L"\r\nnickname=" + a.nickname + L"\r\nenterprisename=" + a.enterpriseName);
  WriteIni(SyncTree() + L"\\" + UserFolderName(a.userId) + L"\\config.ini",
           L"[user]\r\nusername=" + a.userName + L"\r\nheader_image=" + a.avatar + L"\r\n");
}

void AccountFiles::AddProfileAccount(const Account& a) {
  const size_t slash = a.folder.find_last_of(L'\\');
  WriteIni(root_ + L"\\VelQuillanWin\\" + AccountFolderName(a.userId, a.enterpriseId) + L"\\config.ini",
           L"[user]\r\nsyncpathenterprise=X:\\old\\" + a.folder.substr(slash + 1) + L"|" + a.folder.substr(0, slash) +
               L"\r\nusername=" + a.userName + L"\r\nnickname=" + a.nickname + L"\r\nenterprisename=" +
               a.enterpriseName + L"\r\nheader_image=" + a.avatar + L"\r\n");
  WriteIni(a.folder + L"\\desktop.ini", L"[velcloud]\r\nxid=" + a.userId + L"\r\neid=" + a.enterpriseId + L"\r\n");
}

void AccountFiles::SetBarSwitch(int value) {
  WriteIni(SyncTree() + L"\\config.ini", L"[global]\r\nexplorer_bar=" + std::to_wstring(value) + L"\r\n");
}

void AccountFiles::WriteNonSynced(const std::wstring& uid, const std::wstring& eid, const std::wstring& text) {
  EXPECT_TRUE(WriteAnsiFile(SyncTree() + L"\\" + AccountFolderName(uid, eid) + L"\\notsyncdir.dat", text));
}

std::wstring PrefixAppData() {
  const std::wstring appData = GetSpecialFolder(26);
  EXPECT_FALSE(appData.empty() || FileExists(appData + L"\\VelQuillan") || FileExists(appData + L"\\VelQuillanWin"))
      << "the application's own trees are in the prefix";
  return appData;
}

}  // namespace quillan::test
