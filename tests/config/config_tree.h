// Builds the desktop application's configuration trees in a temporary AppData folder.
#pragma once

#include <string>

#include "config/sync_config.h"
#include "test_support.h"

namespace quillan::test {

// "C:\a\b" as Explorer reports it in a URL: "file:///C:/a/b".
inline std::wstring FileUrl(std::wstring path) {
  for (wchar_t& c : path) c = c == L'\\' ? L'/' : c;
  return L"file:///" + path;
}

// Ini files in UTF-16, or in ANSI when asked, as the desktop application writes them.
inline void WriteIni(const std::wstring& path, const std::wstring& text, bool ansi = false) {
  if (ansi ? !WriteAnsiFile(path, text) : !WriteUtf16File(path, text)) ADD_FAILURE() << "cannot write ini";
}

class ConfigTree {
 public:
  const std::wstring& appData() const { return dir_.path(); }
  std::wstring SyncTree() const { return dir_ / L"VelQuillan\\sync"; }
  // A folder (created) under the temporary root, standing for a folder anywhere on the machine.
  std::wstring Folder(const std::wstring& relative) const {
    MakeDirs(dir_ / relative);
    return dir_ / relative;
  }
  // A sync-tree account pointing at folder, whose desktop.ini names the same ids. Returns the account folder.
  std::wstring AddSyncAccount(const std::wstring& uid, const std::wstring& eid, const std::wstring& folder,
                              const std::wstring& nickname = L"", const std::wstring& enterpriseName = L"") {
    std::wstring account = SyncTree() + L"\\" + AccountFolderName(uid, eid);
    WriteIni(account + L"\\config.ini", L"[user]\r\nsyncpathenterprise=" + folder + L"\r\n");
    SyncDesktopIni(folder, uid, eid, nickname, enterpriseName);
    return account;
  }
  static void SyncDesktopIni(const std::wstring& folder, const std::wstring& uid, const std::wstring& eid,
                             const std::wstring& nickname = L"", const std::wstring& enterpriseName = L"") {
    WriteIni(folder + L"\\desktop.ini", L"[veltarnbox]\r\nxid=" + uid + L"\r\neid=" + eid + L"\r\nnickname=" +
                                            nickname + L"\r\nenterprisename=" + enterpriseName + L"\r\n");
  }
  void UserConfig(const std::wstring& uid, const std::wstring& userName, const std::wstring& avatar) {
    WriteIni(SyncTree() + L"\\" + UserFolderName(uid) + L"\\config.ini",
             L"[user]\r\nusername=" + userName + L"\r\nheader_image=" + avatar + L"\r\n");
  }
  // A profile-tree account with the given "syncpathenterprise" and further [user] lines.
  std::wstring AddProfileAccount(const std::wstring& uid, const std::wstring& eid, const std::wstring& folders,
                                 const std::wstring& extra = L"") {
    std::wstring account = dir_ / L"VelQuillanWin\\" + AccountFolderName(uid, eid);
    WriteIni(account + L"\\config.ini", L"[user]\r\nsyncpathenterprise=" + folders + L"\r\n" + extra);
    return account;
  }
  static void ProfileDesktopIni(const std::wstring& folder, const std::wstring& uid, const std::wstring& eid) {
    WriteIni(folder + L"\\desktop.ini", L"[velcloud]\r\nxid=" + uid + L"\r\neid=" + eid + L"\r\n");
  }

 private:
  TempDir dir_;
};

}  // namespace quillan::test
