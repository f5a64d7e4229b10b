// The account table of one Explorer window: which sync folders exist on this machine and which account
// owns each, read from the desktop application's two configuration trees under AppData:
//   sync tree     AppData\VelQuillan\sync\<account folder>\config.ini [+ junction.ini]
//   profile tree  AppData\VelQuillanWin\<account folder>\config.ini
// An account folder is named after the digest of the account's ids; a sync folder counts only when its
// own desktop.ini names ids whose digest is that folder's name.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "config/account_entry.h"

namespace quillan {

// SHGetSpecialFolderPathW without creating the folder; empty when the shell cannot say.
std::wstring GetSpecialFolder(int csidl);

class SyncConfig {
 public:
  // appDataRoot: the folder both trees live in (CSIDL_APPDATA, 26, unless a test gives another).
  explicit SyncConfig(std::wstring appDataRoot = GetSpecialFolder(26));

  // Rebuilds the table from disk; failures only leave fewer entries.
  void LoadAccounts();
  // location: a folder path or a "file:///" URL as Explorer reports it. Copies out the first entry
  // (longest sync folder first) whose sync folder is the location or one of its ancestors.
  bool FindAccount(const std::wstring& location, AccountEntry* entry) const;

  const std::vector<AccountEntry>& Entries() const { return entries; }
  const std::wstring& AppDataRoot() const { return appDataRoot_; }

 private:
  void LoadSyncTree();
  void LoadProfileTree();
  void ReadSyncTreeEntry(const std::wstring& folder, const std::wstring& configFile,
                         const std::wstring& accountFolderName);

  std::wstring appDataRoot_;
  std::vector<AccountEntry> entries;
};

// Value of [global] "explorer_bar" (default 1) in AppData\VelQuillan\sync\config.ini, read from the
// file on every call. The path is worked out once per process, from the shell's AppData folder.
int IsExplorerBarEnabled();
// The same switch under another AppData root, the path worked out on every call.
int IsExplorerBarEnabled(const std::wstring& appDataRoot);

// Joins two path pieces with exactly one "\" between them; "/" becomes "\" and doubled "\" are halved,
// except the "\\" that opens a network path in a.
std::wstring JoinPath(const std::wstring& a, const std::wstring& b);

// Name of an account folder: MD5 hex of the ANSI form of lower-cased "USER_<userId> EID_<enterpriseId>".
std::wstring AccountFolderName(const std::wstring& userId, const std::wstring& enterpriseId);
// Name of the per-user folder of the sync tree: the same with "USER_<userId>".
std::wstring UserFolderName(const std::wstring& userId);

// Lines of an ini section (32768-character buffer), each trimmed of white space; empty lines dropped.
std::vector<std::wstring> ReadIniSectionLines(const std::wstring& section, const std::wstring& file);
// Splits "name|path": name lower-cased (A-Z), path trimmed. True when there is a "|" and the path exists.
bool SplitJunctionLine(const std::wstring& line, std::wstring* name, std::wstring* path);

// Decodes the percent escapes of a path taken from a file URL as UTF-8, within a 520-byte buffer.
std::wstring DecodeFileUrl(const std::wstring& path);
// Copies the zero-terminated input to output, turning "%XX" into the byte XX. Stops at a "%" that is
// not followed by two hexadecimal digits and at an escape of the byte 0; writes at most room bytes
// (bytes beyond are dropped). Does not terminate the output: the caller hands in a zeroed buffer
// larger than room. Returns the number of bytes written.
size_t PercentDecode(const char* input, char* output, size_t room);

}  // namespace quillan
