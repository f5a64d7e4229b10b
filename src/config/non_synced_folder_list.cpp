#include "config/non_synced_folder_list.h"

#include <windows.h>
#include <shlwapi.h>

#include <cstring>
#include <memory>
#include <new>

#include "base/text.h"

namespace quillan {
namespace {

constexpr DWORD kMaxTextBytes = 0x4000000;  // 64 MiB

// Cache folders of this product and of the products it replaces; a path holding one anywhere is never
// reported as selected.
const wchar_t* const kReservedMarkers[] = {
    L".velcache", L".dropbox.cache", L".klive", L".kanbox.cache", L".qbox.cache", L"\\.velsyslib", L".velsyslib",
};

}  // namespace

NonSyncedFolderList::NonSyncedFolderList(std::wstring appDataRoot) : appDataRoot_(std::move(appDataRoot)) {}

void NonSyncedFolderList::LoadNonSyncedFolders() {
  if (threadUserId.empty() || threadEnterpriseId.empty()) return;
  // Without AppData the tree would resolve against the current drive's root, and the redirect file
  // deleted there would not be ours.
  if (appDataRoot_.empty()) return;

  const std::wstring tree = JoinPath(appDataRoot_, L"VelQuillan\\sync");
  std::wstring listPath =
      tree + L"\\" + JoinPath(AccountFolderName(threadUserId, threadEnterpriseId), L"notsyncdir.dat");
  const std::wstring redirectPath = tree + L"\\IgnoreFilePath.txt";

  std::wstring redirect;
  if (!ReadTextFile(redirectPath, &redirect)) redirect.clear();  // unreadable counts as empty
  redirect = TrimCrLfTabSpace(redirect);
  // The redirect holds for this one loading; a missing file makes the delete fail, which is fine.
  ::DeleteFileW(redirectPath.c_str());
  ::OutputDebugStringW(redirect.c_str());
  if (!redirect.empty()) listPath = redirect;

  if (!::PathFileExistsW(listPath.c_str())) return;
  ::OutputDebugStringW((L"load ignore dir:" + listPath + L"\r\n").c_str());
  nonSyncedFolders.clear();
  // An unreadable list leaves the list empty: the result needs no other handling.
  ReadNonSyncedFile(listPath, &nonSyncedFolders);
}

bool NonSyncedFolderList::IsSelectionExcluded(std::vector<std::wstring> paths) const {
  if (nonSyncedFolders.empty() || paths.empty()) return false;

  // Reserved paths do not depend on the entry: with a non-empty list any of them excludes.
  for (std::wstring& path : paths) {
    path = TrimCrLfTabSpace(LowerAZ(std::move(path)));
    if (IsReservedPath(path)) return true;
  }

  std::wstring folder;
  for (const std::wstring& entry : nonSyncedFolders) {
    const std::wstring full = TrimCrLfTabSpace(LowerAZ(syncFolder + entry));
    folder = full;
    folder.push_back(L'\\');
    for (const std::wstring& path : paths) {
      if (path.size() < full.size()) continue;  // can neither equal nor contain it
      if (EqualsNoCaseAZ(path, full) || path.find(folder) != std::wstring::npos) return true;
    }
  }
  return false;
}

bool NonSyncedFolderList::IsReservedPath(const std::wstring& path) const {
  const std::wstring lower = LowerAZ(path);
  for (const wchar_t* marker : kReservedMarkers) {
    if (lower.find(marker) != std::wstring::npos) return true;
  }
  return EqualsNoCaseAZ(path, syncFolder + L"\\desktop.ini");
}

bool ReadNonSyncedFile(const std::wstring& path, std::vector<std::wstring>* list) {
  list->clear();
  std::wstring text;
  if (!ReadTextFile(path, &text)) return false;
  size_t start = 0;
  for (size_t feed; start < text.size() && (feed = text.find(L'\n', start)) != std::wstring::npos; start = feed + 1) {
    list->push_back(text.substr(start, feed - start));
  }
  return true;
}

bool ReadTextFile(const std::wstring& path, std::wstring* text) {
  text->clear();
  if (path.empty()) return false;
  UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) return true;  // missing or locked: no text
  // A pipe, console or other device named here could block the read forever, with listLock held.
  if (::GetFileType(file.get()) != FILE_TYPE_DISK) return true;

  DWORD size = ::GetFileSize(file.get(), nullptr);
  unsigned char mark[2] = {};
  DWORD got = 0;
  bool utf16 = false;
  if (::ReadFile(file.get(), mark, 2, &got, nullptr) && got == 2 && mark[0] == 0xFF && mark[1] == 0xFE) {
    utf16 = true;
    size -= 2;
  } else if (::SetFilePointer(file.get(), 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) {
    return false;  // cannot go back to the first byte: reading on would lose it
  }

  const DWORD wanted = size < kMaxTextBytes ? size : kMaxTextBytes;
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[static_cast<size_t>(wanted) + 2]);
  if (!buffer) return false;
  DWORD read = 0;
  if (wanted > 0 && (!::ReadFile(file.get(), buffer.get(), wanted, &read, nullptr) || read < wanted)) return false;
  buffer[wanted] = '\0';
  buffer[wanted + 1] = '\0';

  if (utf16) {
    // Whole characters only: with an odd byte count the last one takes the first terminating zero as
    // its high byte, and the scan must not step past the buffer.
    const size_t chars = (static_cast<size_t>(wanted) + 2) / 2;
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(buffer.get());
    size_t length = 0;
    while (length < chars && (bytes[2 * length] | bytes[2 * length + 1]) != 0) ++length;
    text->resize(length);
    for (size_t i = 0; i < length; ++i) {
      (*text)[i] = static_cast<wchar_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    }
  } else {
    const size_t length = ::strnlen(buffer.get(), wanted);
    *text = CodePageToWide(buffer.get(), length, CP_ACP);
  }
  return true;
}

}  // namespace quillan
