// The desktop application's configuration trees under an AppData root: a temporary one, or the
// prefix's own for the DLL in another process (then removed again at the end).
#pragma once

#include <string>

namespace quillan::test {

// Writes an ini file in UTF-16 (or ANSI), as the desktop application does.
void WriteIni(const std::wstring& path, const std::wstring& text, bool ansi = false);

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
  void AddSyncAccount(const Account& a);
  // Logged in: the profile tree; the folder's parent is the target root.
  void AddProfileAccount(const Account& a);
  void SetBarSwitch(int value);
  // The account's notsyncdir.dat, in the ANSI code page.
  void WriteNonSynced(const std::wstring& uid, const std::wstring& eid, const std::wstring& text);

 private:
  std::wstring root_;
  bool owned_;
};

// The prefix's AppData; a test fails when the application's own trees are there already.
std::wstring PrefixAppData();

}  // namespace quillan::test
