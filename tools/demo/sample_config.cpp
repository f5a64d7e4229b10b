#include "sample_config.h"

#include <windows.h>

#include <shlwapi.h>

#include <utility>

#include "config/sync_config.h"
#include "account_files.h"
#include "harness.h"

namespace quillan::demo {

namespace {

constexpr wchar_t kMarker[] = L"\\.quillan-demo";

bool IsEmptyFolder(const std::wstring& path) { return ::PathIsDirectoryEmptyW(path.c_str()) != FALSE; }

bool HasMarker(const std::wstring& folder) { return harness::FileExists(folder + kMarker); }

}  // namespace

bool ClaimDemoFolder(const std::wstring& folder, std::wstring* error) {
  if (::PathIsDirectoryW(folder.c_str())) {
    if (HasMarker(folder)) {
      harness::RemoveTree(folder);
    } else if (!IsEmptyFolder(folder)) {
      *error = folder + L" exists and is not the demo's: move it away first";
      return false;
    }
  } else if (::PathFileExistsW(folder.c_str())) {
    *error = folder + L" is a file";
    return false;
  }
  if (!harness::MakeDirs(folder) || !harness::WriteBytes(folder + kMarker, std::string())) {
    *error = L"cannot create " + folder;
    return false;
  }
  return true;
}

void RemoveDemoFolder(const std::wstring& folder) {
  if (!folder.empty() && HasMarker(folder)) harness::RemoveTree(folder);
}

SampleConfig::SampleConfig(std::wstring appData, std::wstring root)
    : appData_(std::move(appData)), root_(std::move(root)) {
  syncTree_ = appData_ + L"\\VelQuillan\\sync";
  profileTree_ = appData_ + L"\\VelQuillanWin";
  first_ = {L"10001", L"20001", L"hanmeimei@orrin.example", L"韩梅梅", L"Orrin 示例企业",
            root_ + L"\\Team 团队空间", false};
  // The profile tree names a folder by its leaf and a target root: "...\My Drive 我的云盘|<root>".
  second_ = {L"10002", L"20001", L"lilei@orrin.example", L"李雷", L"Orrin 示例企业", root_ + L"\\My Drive 我的云盘",
             true};
  junction_ = root_ + L"\\Design 设计稿";
  nonSynced_ = second_.syncFolder + L"\\Archive";
  outside_ = root_ + L"\\Elsewhere";
  insideFile_ = second_.syncFolder + L"\\报告.docx";
  outsideFile_ = outside_ + L"\\notes.txt";
}

bool SampleConfig::WriteFile(const std::wstring& path, const std::wstring& text) {
  files_.push_back(path);
  return harness::WriteUtf16File(path, text);
}

bool SampleConfig::Write(std::wstring* error) {
  files_.clear();
  if (appData_.empty()) {
    *error = L"the shell names no AppData folder";
    return false;
  }
  if (!ClaimDemoFolder(appData_ + L"\\VelQuillan", error) || !ClaimDemoFolder(profileTree_, error) ||
      !ClaimDemoFolder(root_, error)) {
    return false;
  }
  for (const std::wstring& folder : {first_.syncFolder, junction_, second_.syncFolder, nonSynced_, outside_}) {
    if (!harness::MakeDirs(folder)) {
      *error = L"cannot create " + folder;
      return false;
    }
  }

  // The first account in the sync tree with a junction, the second in the profile tree with a folder
  // it does not synchronise.
  harness::AccountFiles accounts(appData_, false);
  const harness::AccountFiles::Account first = {first_.userId, first_.enterpriseId, first_.syncFolder,
                                                first_.userName, first_.nickname, first_.enterpriseName};
  const harness::AccountFiles::Account second = {second_.userId, second_.enterpriseId, second_.syncFolder,
                                                 second_.userName, second_.nickname, second_.enterpriseName};
  bool ok = accounts.SetBarSwitch(1) && accounts.AddSyncAccount(first) &&
            accounts.AddJunction(first, L"design", junction_) && accounts.AddProfileAccount(second) &&
            accounts.WriteNonSynced(second_.userId, second_.enterpriseId,
                                    nonSynced_.substr(second_.syncFolder.size()) + L"\r\n");
  files_ = accounts.written();
  // A few files to select and to ask menus for.
  ok &= WriteFile(first_.syncFolder + L"\\计划.txt", L"plan\r\n");
  ok &= WriteFile(junction_ + L"\\草图.txt", L"sketch\r\n");
  ok &= WriteFile(insideFile_, L"report\r\n");
  ok &= WriteFile(nonSynced_ + L"\\2019.txt", L"old\r\n");
  ok &= WriteFile(outsideFile_, L"notes\r\n");
  if (!ok) *error = L"cannot write the sample files";
  return ok;
}

void SampleConfig::Remove() const {
  for (const std::wstring& folder : {appData_ + L"\\VelQuillan", profileTree_, root_}) RemoveDemoFolder(folder);
}

}  // namespace quillan::demo
