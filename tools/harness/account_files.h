// The desktop application's configuration files as it writes them, under an AppData root: the sync
// tree (AppData\VelQuillan\sync) and the profile tree (AppData\VelQuillanWin). For the tests' accounts
// and the demo's sample configuration. Every write returns false when the file cannot be written.
#pragma once

#include <string>
#include <vector>

namespace quillan::harness {

// An ini file in UTF-16 with its mark (or in the ANSI code page), as the application writes them.
bool WriteIni(const std::wstring& path, const std::wstring& text, bool ansi = false);

class AccountFiles {
 public:
  struct Account {
    std::wstring userId, enterpriseId, folder;
    std::wstring userName, nickname, enterpriseName, avatar;
  };
  // owned: VelQuillan and VelQuillanWin are removed from root at the end.
  AccountFiles(std::wstring root, bool owned) : root_(std::move(root)), owned_(owned) {}
  ~AccountFiles();
  AccountFiles(const AccountFiles&) = delete;
  AccountFiles& operator=(const AccountFiles&) = delete;

  const std::wstring& root() const { return root_; }
  std::wstring SyncTree() const { return root_ + L"\\VelQuillan\\sync"; }
  // Not logged in: the sync tree, nickname and enterprise name in the folder's desktop.ini, the user
  // name and avatar in the per-user folder.
  bool AddSyncAccount(const Account& a);
  // A second folder of a sync-tree account, named in its junction.ini, with the account's desktop.ini.
  bool AddJunction(const Account& a, const std::wstring& name, const std::wstring& folder);
  // Logged in: the profile tree; the folder's parent is the target root.
  bool AddProfileAccount(const Account& a);
  bool SetBarSwitch(int value);
  // The account's notsyncdir.dat, in the ANSI code page.
  bool WriteNonSynced(const std::wstring& uid, const std::wstring& eid, const std::wstring& text);
  // Every file written, in order.
  const std::vector<std::wstring>& written() const { return written_; }

 private:
  bool Write(const std::wstring& path, const std::wstring& text, bool ansi = false);
  std::wstring SyncDesktopIni(const Account& a) const;

  std::wstring root_;
  bool owned_;
  std::vector<std::wstring> written_;
};

}  // namespace quillan::harness
