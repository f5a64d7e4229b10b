#include "config/non_synced_folder_list.h"

#include <windows.h>
#include <shlwapi.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
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


bool IsBlank(wchar_t c) noexcept { return c == L'\r' || c == L'\n' || c == L'\t' || c == L' '; }

// Calls line(start, length) for each line of text up to its line feed.
template <typename Line>
void ForEachLine(const std::wstring& text, Line line) {
  size_t start = 0;
  for (size_t feed; start < text.size() && (feed = text.find(L'\n', start)) != std::wstring::npos; start = feed + 1) {
    line(start, feed - start);
  }
}

// The sync folder's part of an entry's full form: lower-cased, blanks gone from its start, and from its
// end too when the entry adds nothing but blanks.
struct SyncPrefix {
  explicit SyncPrefix(const std::wstring& syncFolder) {
    const std::wstring lower = LowerAZ(syncFolder);
    size_t first = 0;
    while (first < lower.size() && IsBlank(lower[first])) ++first;
    blank = first == lower.size();
    leading = lower.substr(first);
    whole = TrimCrLfTabSpace(leading);
  }
  std::wstring leading;  // for an entry with text of its own
  std::wstring whole;    // for a blank entry
  bool blank = false;    // the sync folder is nothing but blanks: the entry's start is trimmed instead
};

// path equals full, or holds full followed by "\" anywhere.
bool Excludes(const std::wstring& path, const wchar_t* full, size_t length) {
  if (path.size() < length) return false;
  if (path.size() == length && path.compare(0, length, full, length) == 0) return true;
  for (size_t at = path.find(full, 0, length); at != std::wstring::npos; at = path.find(full, at + 1, length)) {
    if (at + length < path.size() && path[at + length] == L'\\') return true;
  }
  return false;
}

// The loader's two debug strings. Nobody can hear them without a debugger or a debug-output listener
// (the DBWIN_BUFFER_READY event), and raising them costs more than the whole loading does under some
// systems, so they are raised only when someone listens.
void DebugText(const std::wstring& text) {
  if (!::IsDebuggerPresent()) {
    UniqueHandle listener(::OpenEventW(SYNCHRONIZE, FALSE, L"DBWIN_BUFFER_READY"));
    if (!listener) return;
  }
  ::OutputDebugStringW(text.c_str());
}

}  // namespace

PreparedEntries PreparedEntries::FromText(const std::wstring& text) {
  PreparedEntries prepared;
  // One buffer as long as the text and one span per line feed, so that nothing grows on the way.
  prepared.text_.resize(text.size());
  prepared.spans_.reserve(static_cast<size_t>(std::count(text.begin(), text.end(), L'\n')));
  wchar_t* out = prepared.text_.empty() ? nullptr : &prepared.text_[0];
  size_t used = 0;
  ForEachLine(text, [&](size_t start, size_t length) {
    size_t end = start + length;
    while (end > start && IsBlank(text[end - 1])) --end;
    const auto offset = static_cast<uint32_t>(used);
    for (size_t i = start; i < end; ++i) out[used++] = LowerAZ(text[i]);
    prepared.spans_.push_back(Span{offset, static_cast<uint32_t>(end - start), length > 0 && IsBlank(text[start])});
  });
  prepared.text_.resize(used);
  return prepared;
}

NonSyncedFolderList::NonSyncedFolderList(std::wstring appDataRoot) : appDataRoot_(std::move(appDataRoot)) {}

void NonSyncedFolderList::SetAccount(const std::wstring& userId, const std::wstring& enterpriseId) {
  CriticalSectionLock lock(lock_);
  userId_ = userId;
  enterpriseId_ = enterpriseId;
}

bool NonSyncedFolderList::HasAccount(const std::wstring& userId, const std::wstring& enterpriseId) const {
  CriticalSectionLock lock(lock_);
  return userId_ == userId && enterpriseId_ == enterpriseId;
}

bool NonSyncedFolderList::Load() {
  std::wstring userId, enterpriseId;
  {
    CriticalSectionLock lock(lock_);
    userId = userId_;
    enterpriseId = enterpriseId_;
  }
  if (userId.empty() || enterpriseId.empty()) return false;
  // Without AppData the tree would resolve against the current drive's root, and the redirect file
  // deleted there would not be ours.
  if (appDataRoot_.empty()) return false;

  const std::wstring tree = JoinPath(appDataRoot_, L"VelQuillan\\sync");
  std::wstring listPath = tree + L"\\" + JoinPath(AccountFolderName(userId, enterpriseId), L"notsyncdir.dat");
  const std::wstring redirectPath = tree + L"\\IgnoreFilePath.txt";

  std::wstring redirect;
  if (!ReadTextFile(redirectPath, &redirect)) redirect.clear();  // unreadable counts as empty
  redirect = TrimCrLfTabSpace(redirect);
  // The redirect holds for this one loading; a missing file makes the delete fail, which is fine.
  ::DeleteFileW(redirectPath.c_str());
  DebugText(redirect);
  if (!redirect.empty()) listPath = redirect;

  if (!::PathFileExistsW(listPath.c_str())) return true;
  DebugText(L"load ignore dir:" + listPath + L"\r\n");
  std::wstring text;
  // An unreadable list leaves the list empty.
  if (!ReadTextFile(listPath, &text)) text.clear();
  PreparedEntries loaded = PreparedEntries::FromText(text);
  CriticalSectionLock lock(lock_);
  std::swap(entries_, loaded);
  return true;  // the old entries are freed after the lock is given back
}

void NonSyncedFolderList::SetEntries(const std::wstring& text) {
  PreparedEntries loaded = PreparedEntries::FromText(text);
  CriticalSectionLock lock(lock_);
  std::swap(entries_, loaded);
}

size_t NonSyncedFolderList::EntryCount() const {
  CriticalSectionLock lock(lock_);
  return entries_.size();
}

bool NonSyncedFolderList::IsSelectionExcluded(std::vector<std::wstring> paths) const {
  if (paths.empty()) return false;
  for (std::wstring& path : paths) path = TrimCrLfTabSpace(LowerAZ(std::move(path)));
  const SyncPrefix prefix(syncFolder_);

  CriticalSectionLock lock(lock_);
  if (entries_.empty()) return false;
  // Reserved paths do not depend on the entry: with a non-empty list any of them excludes.
  for (const std::wstring& path : paths) {
    if (IsReservedPath(path)) return true;
  }
  std::wstring full;
  const size_t count = entries_.size();
  for (size_t i = 0; i < count; ++i) {
    const wchar_t* entry = entries_.data(i);
    size_t length = entries_.length(i);
    if (length == 0 || prefix.blank) {
      // The rare forms: a blank entry stands for the sync folder itself; under a blank sync folder the
      // entry's own start is trimmed.
      if (length == 0) {
        full = prefix.whole;
      } else {
        while (length > 0 && IsBlank(*entry)) ++entry, --length;
        full.assign(entry, length);
      }
      for (const std::wstring& path : paths) {
        if (Excludes(path, full.data(), full.size())) return true;
      }
      continue;
    }
    // syncFolder + entry, without building it: the path holds the prefix, and the entry right after it.
    const std::wstring& head = prefix.leading;
    const size_t total = head.size() + length;
    for (const std::wstring& path : paths) {
      if (path.size() < total) continue;
      for (size_t at = path.find(head); at != std::wstring::npos && at + total <= path.size();
           at = path.find(head, at + 1)) {
        if (path.compare(at + head.size(), length, entry, length) != 0) continue;
        if ((at == 0 && path.size() == total) || (at + total < path.size() && path[at + total] == L'\\')) return true;
      }
    }
  }
  return false;
}

bool NonSyncedFolderList::IsReservedPath(const std::wstring& path) const {
  const std::wstring lower = LowerAZ(path);
  for (const wchar_t* marker : kReservedMarkers) {
    if (lower.find(marker) != std::wstring::npos) return true;
  }
  return EqualsNoCaseAZ(path, syncFolder_ + L"\\desktop.ini");
}

bool ReadNonSyncedFile(const std::wstring& path, std::vector<std::wstring>* list) {
  list->clear();
  std::wstring text;
  if (!ReadTextFile(path, &text)) return false;
  ForEachLine(text, [&](size_t start, size_t length) { list->push_back(text.substr(start, length)); });
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
    text->resize(chars);
    std::memcpy(&(*text)[0], buffer.get(), chars * sizeof(wchar_t));
    text->resize(std::wcslen(text->c_str()));  // the last unit, or the one before, is the terminating zero
  } else {
    const size_t length = ::strnlen(buffer.get(), wanted);
    *text = CodePageToWide(buffer.get(), length, CP_ACP);
  }
  return true;
}

}  // namespace quillan
