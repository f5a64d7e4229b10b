// The demo's sample configuration, as the desktop application would have written it: two accounts of
// one enterprise, with their sync folders and a few files in them.
//
//   first account   not logged in: the sync tree (AppData\VelQuillan\sync), its desktop.ini in the sync
//                   folder, its user folder with the user name, and a junction (a second folder of
//                   the same account, listed in junction.ini)
//   second account  logged in: the profile tree (AppData\VelQuillanWin), and a non-synced folder in
//                   its notsyncdir.dat (kept in the sync tree, where the bar's worker reads it)
//
// The trees carry a marker file, so that a later run knows them for its own and may replace them; a
// tree without it belongs to someone else and is left alone.
#pragma once

#include <string>
#include <vector>

namespace quillan::demo {

// A folder the demo may fill: missing (then created), empty, or marked as the demo's by an earlier run
// (then emptied). It gets the marker. False with the reason for any other folder.
bool ClaimDemoFolder(const std::wstring& folder, std::wstring* error);
// Removes a folder with everything in it, if it carries the marker.
void RemoveDemoFolder(const std::wstring& folder);

struct SampleAccount {
  std::wstring userId;
  std::wstring enterpriseId;
  std::wstring userName;
  std::wstring nickname;
  std::wstring enterpriseName;
  std::wstring syncFolder;
  bool loggedIn = false;
};

class SampleConfig {
 public:
  // appData: the user's roaming AppData folder; root: the folder that gets the sample folders.
  SampleConfig(std::wstring appData, std::wstring root);

  // Writes the trees and the folders. False (with the reason) when a tree or folder is there and is
  // not the demo's own.
  bool Write(std::wstring* error);
  // Removes what Write made (trees with the marker only).
  void Remove() const;

  const SampleAccount& first() const { return first_; }
  const SampleAccount& second() const { return second_; }
  // The first account's second folder, named in its junction.ini.
  const std::wstring& junctionFolder() const { return junction_; }
  // The second account's folder that is not synchronised.
  const std::wstring& nonSyncedFolder() const { return nonSynced_; }
  // A folder outside both accounts.
  const std::wstring& outsideFolder() const { return outside_; }
  // A file inside the second account's folder (the engine answers state 3 for it), and one outside.
  const std::wstring& insideFile() const { return insideFile_; }
  const std::wstring& outsideFile() const { return outsideFile_; }
  const std::wstring& syncTree() const { return syncTree_; }
  const std::wstring& profileTree() const { return profileTree_; }
  // Every file Write makes, for the demo's listing.
  const std::vector<std::wstring>& files() const { return files_; }

 private:
  bool WriteFile(const std::wstring& path, const std::wstring& text);

  std::wstring appData_;
  std::wstring root_;
  std::wstring syncTree_;
  std::wstring profileTree_;
  SampleAccount first_;
  SampleAccount second_;
  std::wstring junction_;
  std::wstring nonSynced_;
  std::wstring outside_;
  std::wstring insideFile_;
  std::wstring outsideFile_;
  std::vector<std::wstring> files_;
};

}  // namespace quillan::demo
