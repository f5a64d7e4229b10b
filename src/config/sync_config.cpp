#include "config/sync_config.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <map>
#include <memory>
#include <new>

#include "base/handle.h"
#include "base/text.h"
#include "config/hash.h"

namespace quillan {
namespace {

// Buffer sizes in characters, terminator included: a longer value is cut to one character less.
constexpr DWORD kFolderValueChars = 2080;   // [user] "syncpathenterprise"
constexpr DWORD kFieldValueChars = 520;     // ids, names, avatar path
constexpr DWORD kSectionChars = 32768;      // a whole [junction] section
constexpr size_t kCombinedPathChars = 520;  // PathCombineW result
constexpr size_t kSwitchPathChars = 520;    // stored path of the bar switch
constexpr size_t kUrlBytes = 520;           // decoded file URL, zero included

const wchar_t kSyncTree[] = L"\\VelQuillan\\sync";
const wchar_t kProfileTree[] = L"\\VelQuillanWin";

std::wstring ReadProfileString(const wchar_t* section, const wchar_t* key, const std::wstring& file, DWORD chars) {
  std::unique_ptr<wchar_t[]> buffer(new (std::nothrow) wchar_t[chars]);
  if (!buffer) return std::wstring();  // no memory: the key counts as missing
  buffer[0] = L'\0';
  DWORD n = ::GetPrivateProfileStringW(section, key, L"", buffer.get(), chars, file.c_str());
  return std::wstring(buffer.get(), std::min<size_t>(n, ::wcsnlen(buffer.get(), chars)));
}

bool FileExists(const std::wstring& path) { return ::PathFileExistsW(path.c_str()) != FALSE; }

// Names of the sub-folders of tree that do not begin with "."; false when the enumeration cannot start.
bool ListAccountFolders(const std::wstring& tree, std::vector<std::wstring>* names) {
  WIN32_FIND_DATAW data;
  UniqueFind find(::FindFirstFileW((tree + L"\\*").c_str(), &data));
  if (!find) return false;
  do {
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && data.cFileName[0] != L'.') {
      names->emplace_back(data.cFileName, ::wcsnlen(data.cFileName, MAX_PATH));
    }
  } while (::FindNextFileW(find.get(), &data));
  return true;
}

std::wstring ReplaceAll(std::wstring text, const std::wstring& from, const std::wstring& to) {
  if (from.empty()) return text;
  size_t pos = 0;
  while ((pos = text.find(from, pos)) != std::wstring::npos) {
    text.replace(pos, from.size(), to);
    pos += to.size();
  }
  return text;
}

// "/" to "\", then each "\\" to "\" in one left-to-right pass.
std::wstring NormaliseSeparators(std::wstring text) {
  std::replace(text.begin(), text.end(), L'/', L'\\');
  std::wstring out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    if (text[i] == L'\\' && i + 1 < text.size() && text[i + 1] == L'\\') {
      out.push_back(L'\\');
      i += 2;
    } else {
      out.push_back(text[i++]);
    }
  }
  return out;
}

std::wstring FolderNameDigest(const std::wstring& text) {
  std::string bytes = WideToAnsi(LowerAZ(text));
  return DigestHex(bytes.data(), bytes.size(), 0);
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::wstring ExplorerBarSwitchPath(const std::wstring& appDataRoot) {
  // Without AppData there is no path to form: the switch then reads as off.
  if (appDataRoot.empty()) return std::wstring();
  std::wstring path = JoinPath(JoinPath(appDataRoot, L"VelQuillan\\sync"), L"config.ini");
  if (path.size() > kSwitchPathChars - 1) path.resize(kSwitchPathChars - 1);
  return path;
}

int ReadExplorerBarSwitch(const std::wstring& path) {
  if (path.empty()) return 0;
  return static_cast<int>(::GetPrivateProfileIntW(L"global", L"explorer_bar", 1, path.c_str()));
}

}  // namespace

std::wstring GetSpecialFolder(int csidl) {
  wchar_t buffer[MAX_PATH + 1] = {};
  if (!::SHGetSpecialFolderPathW(nullptr, buffer, csidl, FALSE)) return std::wstring();
  return std::wstring(buffer, ::wcsnlen(buffer, MAX_PATH + 1));
}

SyncConfig::SyncConfig(std::wstring appDataRoot) : appDataRoot_(std::move(appDataRoot)) {}

void SyncConfig::LoadAccounts() {
  entries.clear();
  // Without AppData the trees would be looked for at the root of the current drive.
  if (appDataRoot_.empty()) return;
  LoadSyncTree();
  LoadProfileTree();
  std::stable_sort(entries.begin(), entries.end(), [](const AccountEntry& a, const AccountEntry& b) {
    return a.syncFolder.size() > b.syncFolder.size();
  });
}

void SyncConfig::LoadSyncTree() {
  const std::wstring tree = appDataRoot_ + kSyncTree;
  std::vector<std::wstring> names;
  if (!ListAccountFolders(tree, &names)) return;
  for (const std::wstring& name : names) {
    const std::wstring accountDir = tree + L"\\" + name + L"\\";
    const std::wstring configFile = accountDir + L"config.ini";
    if (!FileExists(configFile)) continue;
    const std::wstring candidate = ReadProfileString(L"user", L"syncpathenterprise", configFile, kFolderValueChars);

    std::map<std::wstring, std::wstring> junctions;  // lower-cased name -> folder, in name order
    const std::wstring junctionFile = accountDir + L"junction.ini";
    if (FileExists(junctionFile)) {
      for (const std::wstring& line : ReadIniSectionLines(L"junction", junctionFile)) {
        std::wstring junctionName, junctionPath;
        if (!SplitJunctionLine(line, &junctionName, &junctionPath)) continue;
        if (junctionName.empty() || junctionPath.empty() || !::PathIsDirectoryW(junctionPath.c_str())) continue;
        junctions[junctionName] = junctionPath;
      }
    }

    ReadSyncTreeEntry(candidate, configFile, name);
    for (const auto& junction : junctions) ReadSyncTreeEntry(junction.second, configFile, name);
  }
}

void SyncConfig::ReadSyncTreeEntry(const std::wstring& folder, const std::wstring& configFile,
                                   const std::wstring& accountFolderName) {
  // An empty "syncpathenterprise" would otherwise send us to the current drive's root desktop.ini.
  if (folder.empty()) return;
  AccountEntry entry;
  entry.loggedIn = 0;
  entry.syncFolder = folder;
  const std::wstring ini = folder + L"\\desktop.ini";
  if (!FileExists(ini)) return;
  entry.userId = ReadProfileString(L"veltarnbox", L"xid", ini, kFieldValueChars);
  entry.enterpriseId = ReadProfileString(L"veltarnbox", L"eid", ini, kFieldValueChars);
  entry.nickname = ReadProfileString(L"veltarnbox", L"nickname", ini, kFieldValueChars);
  entry.enterpriseName = ReadProfileString(L"veltarnbox", L"enterprisename", ini, kFieldValueChars);
  if (AccountFolderName(entry.userId, entry.enterpriseId) != accountFolderName) return;

  const std::wstring userConfig = ReplaceAll(configFile, accountFolderName, UserFolderName(entry.userId));
  entry.userName = ReadProfileString(L"user", L"username", userConfig, kFieldValueChars);
  entry.avatarImage = ReadProfileString(L"user", L"header_image", userConfig, kFieldValueChars);
  entries.push_back(std::move(entry));
}

void SyncConfig::LoadProfileTree() {
  const std::wstring tree = appDataRoot_ + kProfileTree;
  std::vector<std::wstring> names;
  if (!ListAccountFolders(tree, &names)) return;
  for (const std::wstring& name : names) {
    const std::wstring configFile = tree + L"\\" + name + L"\\config.ini";
    if (!FileExists(configFile)) continue;

    // "C:\x\Alpha|C:\x\Beta|E:\Root": the folders Alpha and Beta now live under E:\Root.
    const std::wstring value = ReadProfileString(L"user", L"syncpathenterprise", configFile, kFolderValueChars);
    std::vector<std::wstring> tokens;
    for (size_t start = 0; start <= value.size();) {
      size_t bar = value.find(L'|', start);
      if (bar == std::wstring::npos) bar = value.size();
      if (bar > start) tokens.push_back(value.substr(start, bar - start));
      start = bar + 1;
    }
    if (tokens.empty()) continue;
    const std::wstring root = tokens.back();
    tokens.pop_back();
    if (root.empty() || tokens.empty()) continue;

    for (const std::wstring& token : tokens) {
      size_t slash = token.rfind(L'\\');
      const std::wstring leaf = slash == std::wstring::npos ? token : token.substr(slash + 1);
      wchar_t combined[kCombinedPathChars] = {};
      // Fails when the result would not fit MAX_PATH: that candidate is skipped.
      if (!::PathCombineW(combined, root.c_str(), leaf.c_str())) continue;
      const std::wstring candidate(combined, ::wcsnlen(combined, kCombinedPathChars));
      if (candidate.empty()) continue;
      const std::wstring ini = candidate + L"\\desktop.ini";
      if (!FileExists(ini)) continue;

      AccountEntry entry;
      entry.userId = ReadProfileString(L"velcloud", L"xid", ini, kFieldValueChars);
      entry.enterpriseId = ReadProfileString(L"velcloud", L"eid", ini, kFieldValueChars);
      if (AccountFolderName(entry.userId, entry.enterpriseId) != name) continue;
      entry.userName = ReadProfileString(L"user", L"username", configFile, kFieldValueChars);
      entry.nickname = ReadProfileString(L"user", L"nickname", configFile, kFieldValueChars);
      entry.enterpriseName = ReadProfileString(L"user", L"enterprisename", configFile, kFieldValueChars);
      entry.avatarImage = ReadProfileString(L"user", L"header_image", configFile, kFieldValueChars);
      entry.syncFolder = candidate;
      entry.loggedIn = 1;
      entries.push_back(std::move(entry));
    }
  }
}

bool SyncConfig::FindAccount(const std::wstring& location, AccountEntry* entry) const {
  std::wstring copy = LowerAZ(location);
  static const std::wstring kScheme = L"file:///";
  size_t schemes = 0;
  // One left-to-right pass: the search goes on from where the removal was, so the text that closes up
  // around a removal is not searched again.
  for (size_t pos = 0; (pos = copy.find(kScheme, pos)) != std::wstring::npos; ++schemes) {
    copy.erase(pos, kScheme.size());
  }
  std::replace(copy.begin(), copy.end(), L'/', L'\\');
  if (schemes > 0) copy = DecodeFileUrl(copy);

  for (const AccountEntry& candidate : entries) {
    if (::PathIsPrefixW(candidate.syncFolder.c_str(), copy.c_str())) {
      if (entry) *entry = candidate;
      return true;
    }
  }
  return false;
}

int IsExplorerBarEnabled() {
  // Worked out on the first call of the process; a function-local static, so that two Explorer
  // windows' UI threads asking at once cannot see a half-written path.
  static const std::wstring path = ExplorerBarSwitchPath(GetSpecialFolder(26));
  return ReadExplorerBarSwitch(path);
}

int IsExplorerBarEnabled(const std::wstring& appDataRoot) {
  return ReadExplorerBarSwitch(ExplorerBarSwitchPath(appDataRoot));
}

std::wstring JoinPath(const std::wstring& a, const std::wstring& b) {
  // A network path (\\server\share, AppData redirected to a share) keeps its leading "\\": halved, it
  // would name a folder at the root of the current drive.
  std::wstring slashed = a;
  std::replace(slashed.begin(), slashed.end(), L'/', L'\\');
  const bool network = slashed.size() >= 2 && slashed[0] == L'\\' && slashed[1] == L'\\';
  std::wstring head = network ? L"\\\\" + NormaliseSeparators(slashed.substr(2)) : NormaliseSeparators(a);
  std::wstring tail = NormaliseSeparators(b);
  while (head.size() > (network ? 2u : 0u) && head.back() == L'\\') head.pop_back();
  size_t lead = 0;
  while (lead < tail.size() && tail[lead] == L'\\') ++lead;
  return head + L"\\" + tail.substr(lead);
}

std::wstring AccountFolderName(const std::wstring& userId, const std::wstring& enterpriseId) {
  return FolderNameDigest(L"USER_" + userId + L" EID_" + enterpriseId);
}

std::wstring UserFolderName(const std::wstring& userId) { return FolderNameDigest(L"USER_" + userId); }

std::vector<std::wstring> ReadIniSectionLines(const std::wstring& section, const std::wstring& file) {
  std::vector<std::wstring> lines;
  std::unique_ptr<wchar_t[]> buffer(new (std::nothrow) wchar_t[kSectionChars]);
  if (!buffer) return lines;  // no memory: as if the section were missing
  std::fill_n(buffer.get(), kSectionChars, L'\0');
  DWORD n = ::GetPrivateProfileSectionW(section.c_str(), buffer.get(), kSectionChars, file.c_str());
  if (static_cast<int>(n) < 1) return lines;
  // Zero-terminated lines; never look past the characters the call reported or the buffer's end.
  const size_t end = std::min<size_t>(n, kSectionChars);
  for (size_t start = 0; start < end;) {
    size_t length = ::wcsnlen(buffer.get() + start, end - start);
    std::wstring line = TrimWhiteSpace(std::wstring(buffer.get() + start, length));
    if (!line.empty()) lines.push_back(std::move(line));
    start += length + 1;
  }
  return lines;
}

bool SplitJunctionLine(const std::wstring& line, std::wstring* name, std::wstring* path) {
  name->clear();
  path->clear();
  size_t bar = line.find(L'|');
  if (bar == std::wstring::npos) return false;
  *name = LowerAZ(line.substr(0, bar));
  *path = TrimWhiteSpace(line.substr(bar + 1));
  return FileExists(*path);
}

std::wstring DecodeFileUrl(const std::wstring& path) {
  const std::string utf8 = WideToUtf8(path);
  char decoded[kUrlBytes] = {};
  size_t written = PercentDecode(utf8.c_str(), decoded, kUrlBytes - 1);
  return Utf8ToWide(std::string(decoded, written));
}

size_t PercentDecode(const char* input, char* output, size_t room) {
  if (!input || !output) return 0;
  size_t written = 0;
  for (const char* p = input; *p != '\0' && written < room;) {
    char byte;
    if (*p == '%') {
      int high = HexValue(p[1]);
      if (high < 0) break;  // also the end of the text
      int low = HexValue(p[2]);
      if (low < 0) break;
      byte = static_cast<char>(high * 16 + low);
      if (byte == '\0') break;
      p += 3;
    } else {
      byte = *p++;
    }
    output[written++] = byte;
  }
  return written;
}

}  // namespace quillan
