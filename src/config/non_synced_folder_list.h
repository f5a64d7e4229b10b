// The folders of a sync folder that the desktop application does not synchronise ("notsyncdir.dat" in
// the account folder of the sync tree) and the test of an Explorer selection against them.
//
// A worker thread reloads the list (Load) while the UI thread tests selections (IsSelectionExcluded).
// The file is read and parsed without any lock held; only the finished list is swapped in under the
// list's lock, so a selection check never waits for the disk. Each entry is prepared once per load
// (lower-cased A-Z, trimmed at its end), not once per check.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/handle.h"
#include "config/sync_config.h"

namespace quillan {

// The entries of one list as the test needs them, in file order, in one buffer.
class PreparedEntries {
 public:
  // Each line of text up to its line feed (text after the last line feed is not an entry).
  static PreparedEntries FromText(const std::wstring& text);

  size_t size() const noexcept { return spans_.size(); }
  bool empty() const noexcept { return spans_.empty(); }
  // Entry i lower-cased (A-Z) with carriage returns, line feeds, tabs and spaces removed from its end.
  const wchar_t* data(size_t i) const noexcept { return text_.data() + spans_[i].offset; }
  size_t length(size_t i) const noexcept { return spans_[i].length; }
  // Whether the entry began with one of those characters (it matters only under a blank sync folder).
  bool leadingBlank(size_t i) const noexcept { return spans_[i].leadingBlank; }

 private:
  struct Span {
    uint32_t offset;
    uint32_t length;
    bool leadingBlank;
  };
  std::wstring text_;
  std::vector<Span> spans_;
};

class NonSyncedFolderList {
 public:
  // appDataRoot: the folder that holds VelQuillan\sync (CSIDL_APPDATA unless a test gives another).
  explicit NonSyncedFolderList(std::wstring appDataRoot = GetSpecialFolder(26));
  NonSyncedFolderList(const NonSyncedFolderList&) = delete;
  NonSyncedFolderList& operator=(const NonSyncedFolderList&) = delete;

  // The account whose list Load reads (any thread).
  void SetAccount(const std::wstring& userId, const std::wstring& enterpriseId);
  bool HasAccount(const std::wstring& userId, const std::wstring& enterpriseId) const;
  // The sync folder the entries are relative to (UI thread).
  void SetSyncFolder(const std::wstring& folder) { syncFolder_ = folder; }

  // Reloads the account's list. A redirect file VelQuillan\sync\IgnoreFilePath.txt, consumed and
  // deleted here, names another list for this one loading. A missing list keeps the previous entries;
  // an unreadable one leaves none. False when no account is set (nothing was done).
  bool Load();
  // True when at least one path lies in a non-synced folder or is reserved. Nothing is excluded while
  // the list is empty.
  bool IsSelectionExcluded(std::vector<std::wstring> paths) const;
  // The system's own cache folders and files, and syncFolder\desktop.ini.
  bool IsReservedPath(const std::wstring& path) const;
  size_t EntryCount() const;
  // Replaces the entries with those of text, as a loading would.
  void SetEntries(const std::wstring& text);

  const std::wstring& AppDataRoot() const { return appDataRoot_; }

 private:
  std::wstring appDataRoot_;
  std::wstring syncFolder_;
  mutable CriticalSection lock_;  // guards entries_, userId_, enterpriseId_
  PreparedEntries entries_;
  std::wstring userId_;
  std::wstring enterpriseId_;
};

// Every line of a text file up to its line feed, in order; text after the last line feed is not a line.
// The list is emptied first. False when the file cannot be read.
bool ReadNonSyncedFile(const std::wstring& path, std::vector<std::wstring>* list);
// Reads a whole text file (at most 64 MiB): UTF-16LE when it begins with FF FE, else the ANSI code page,
// up to its first zero character. A file that cannot be opened gives true and no text; a short read or
// no memory gives false.
bool ReadTextFile(const std::wstring& path, std::wstring* text);

}  // namespace quillan
