#include "account_files.h"

#include "config/sync_config.h"
#include "harness.h"

namespace quillan::harness {

bool WriteIni(const std::wstring& path, const std::wstring& text, bool ansi) {
  return ansi ? WriteAnsiFile(path, text) : WriteUtf16File(path, text);
}

AccountFiles::~AccountFiles() {
  if (!owned_) return;
  RemoveTree(root_ + L"\\VelQuillan");
  RemoveTree(root_ + L"\\VelQuillanWin");
}

bool AccountFiles::Write(const std::wstring& path, const std::wstring& text, bool ansi) {
  written_.push_back(path);
  return WriteIni(path, text, ansi);
}

std::wstring AccountFiles::SyncDesktopIni(const Account& a) const {
  return L"[veltarnbox]\r\nxid=" + a.userId + L"\r\neid=" + a.enterpriseId + L"\r\nnickname=" + a.nickname +
         L"\r\nenterprisename=" + a.enterpriseName + L"\r\n";
}

bool AccountFiles::AddSyncAccount(const Account& a) {
  const std::wstring account = SyncTree() + L"\\" + AccountFolderName(a.userId, a.enterpriseId);
  return Write(account + L"\\config.ini", L"[user]\r\nsyncpathenterprise=" + a.folder + L"\r\n") &
         Write(a.folder + L"\\desktop.ini", SyncDesktopIni(a)) &
         Write(SyncTree() + L"\\" + UserFolderName(a.userId) + L"\\config.ini",
               L"[user]\r\nusername=" + a.userName + L"\r\nheader_image=" + a.avatar + L"\r\n");
}

bool AccountFiles::AddJunction(const Account& a, const std::wstring& name, const std::wstring& folder) {
  const std::wstring account = SyncTree() + L"\\" + AccountFolderName(a.userId, a.enterpriseId);
  return Write(account + L"\\junction.ini", L"[junction]\r\n" + name + L"|" + folder + L"\r\n") &
         Write(folder + L"\\desktop.ini", SyncDesktopIni(a));
}

bool AccountFiles::AddProfileAccount(const Account& a) {
  const size_t slash = a.folder.find_last_of(L'\\');
  return Write(root_ + L"\\VelQuillanWin\\" + AccountFolderName(a.userId, a.enterpriseId) + L"\\config.ini",
               L"[user]\r\nsyncpathenterprise=X:\\old\\" + a.folder.substr(slash + 1) + L"|" +
                   a.folder.substr(0, slash) + L"\r\nusername=" + a.userName + L"\r\nnickname=" + a.nickname +
                   L"\r\nenterprisename=" + a.enterpriseName + L"\r\nheader_image=" + a.avatar + L"\r\n") &
         Write(a.folder + L"\\desktop.ini", L"[velcloud]\r\nxid=" + a.userId + L"\r\neid=" + a.enterpriseId + L"\r\n");
}

bool AccountFiles::SetBarSwitch(int value) {
  return Write(SyncTree() + L"\\config.ini", L"[global]\r\nexplorer_bar=" + std::to_wstring(value) + L"\r\n");
}

bool AccountFiles::WriteNonSynced(const std::wstring& uid, const std::wstring& eid, const std::wstring& text) {
  return Write(SyncTree() + L"\\" + AccountFolderName(uid, eid) + L"\\notsyncdir.dat", text, true);
}

}  // namespace quillan::harness
