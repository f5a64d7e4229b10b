// The folders of a sync folder that the desktop application does not synchronise ("notsyncdir.dat" in
// the account folder of the sync tree) and the test of an Explorer selection against them.
//
// The host object embeds this class and owns its fields: the UI thread sets syncFolder, the host sets
// threadUserId/threadEnterpriseId for its worker thread. The worker calls LoadNonSyncedFolders and the
// UI thread calls IsSelectionExcluded, each holding listLock for the whole call.
#pragma once

#include <string>
#include <vector>

#include "base/handle.h"
#include "config/sync_config.h"

namespace quillan {

class NonSyncedFolderList {
 public:
  // appDataRoot: the folder that holds VelQuillan\sync (CSIDL_APPDATA unless a test gives another).
  explicit NonSyncedFolderList(std::wstring appDataRoot = GetSpecialFolder(26));
  NonSyncedFolderList(const NonSyncedFolderList&) = delete;
  NonSyncedFolderList& operator=(const NonSyncedFolderList&) = delete;

  // Reloads nonSyncedFolders for (threadUserId, threadEnterpriseId). A redirect file
  // VelQuillan\sync\IgnoreFilePath.txt, consumed and deleted here, names another list for this one
  // loading. A missing list keeps the previous entries; an unreadable one leaves none.
  void LoadNonSyncedFolders();
  // True when at least one path lies in a non-synced folder or is reserved. Nothing is excluded while
  // the list is empty.
  bool IsSelectionExcluded(std::vector<std::wstring> paths) const;
  // The system's own cache folders and files, and syncFolder\desktop.ini.
  bool IsReservedPath(const std::wstring& path) const;

  const std::wstring& AppDataRoot() const { return appDataRoot_; }

  std::vector<std::wstring> nonSyncedFolders;  // entries as read: relative to syncFolder, not trimmed
  std::wstring syncFolder;                     // the account shown
  std::wstring threadUserId;                   // the account the worker thread serves
  std::wstring threadEnterpriseId;
  CriticalSection listLock;                    // guards nonSyncedFolders

 private:
  std::wstring appDataRoot_;
};

// Every line of a text file up to its line feed, in order; text after the last line feed is not a line.
// The list is emptied first. False when the file cannot be read.
bool ReadNonSyncedFile(const std::wstring& path, std::vector<std::wstring>* list);
// Reads a whole text file (at most 64 MiB): UTF-16LE when it begins with FF FE, else the ANSI code page,
// up to its first zero character. A file that cannot be opened gives true and no text; a short read or
// no memory gives false.
bool ReadTextFile(const std::wstring& path, std::wstring* text);

}  // namespace quillan
