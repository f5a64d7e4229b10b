// Times the configuration reads a navigation and a selection check cost, against the bare platform
// calls underneath them measured in the same run.
#include <windows.h>
#include <shlwapi.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "base/text.h"
#include "bench_support.h"
#include "config/non_synced_folder_list.h"
#include "config/sync_config.h"

namespace quillan {
namespace {

using bench::Now;

// Median seconds per call over rounds of calls.
double Time(const std::function<void()>& call, int rounds, int callsPerRound = 1) {
  call();  // warm the caches the way a second navigation finds them
  std::vector<double> samples;
  for (int r = 0; r < rounds; ++r) {
    double start = Now();
    for (int i = 0; i < callsPerRound; ++i) call();
    samples.push_back((Now() - start) / callsPerRound);
  }
  std::sort(samples.begin(), samples.end());
  return samples[samples.size() / 2];
}

bool MakeDirs(const std::wstring& path) {
  if (::PathIsDirectoryW(path.c_str())) return true;
  size_t slash = path.find_last_of(L'\\');
  if (slash != std::wstring::npos && slash > 2) MakeDirs(path.substr(0, slash));
  return ::CreateDirectoryW(path.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS;
}

bool WriteUtf16(const std::wstring& path, const std::wstring& text) {
  MakeDirs(path.substr(0, path.find_last_of(L'\\')));
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  std::string bytes = "\xFF\xFE";
  bytes.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
  DWORD written = 0;
  BOOL ok = ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  ::CloseHandle(file);
  return ok && written == bytes.size();
}

void RemoveTree(const std::wstring& path) {
  WIN32_FIND_DATAW data;
  HANDLE find = ::FindFirstFileW((path + L"\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = data.cFileName;
      if (name == L"." || name == L"..") continue;
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path + L"\\" + name);
      } else {
        ::DeleteFileW((path + L"\\" + name).c_str());
      }
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
  }
  ::RemoveDirectoryW(path.c_str());
}

std::wstring MakeRoot(const wchar_t* name) {
  wchar_t temp[MAX_PATH] = {};
  DWORD n = ::GetTempPathW(MAX_PATH, temp);
  std::wstring root = std::wstring(temp, n) + name + std::to_wstring(::GetCurrentProcessId());
  RemoveTree(root);
  MakeDirs(root);
  return root;
}

// What LoadAccounts reads of one sync-tree account, in its order: (file, section, key); an empty key
// stands for a whole section.
struct Read {
  std::wstring file, section, key;
};

// Accounts with a sync folder and three junction folders each. Returns the reads LoadAccounts makes.
std::vector<Read> BuildAccounts(const std::wstring& appData, int accounts) {
  std::vector<Read> reads;
  const std::wstring tree = appData + L"\\VelQuillan\\sync";
  for (int a = 0; a < accounts; ++a) {
    const std::wstring uid = L"user" + std::to_wstring(a), eid = L"ent" + std::to_wstring(a);
    const std::wstring account = tree + L"\\" + AccountFolderName(uid, eid) + L"\\";
    const std::wstring folders = appData + L"\\Drive\\Account" + std::to_wstring(a);
    std::wstring junctions = L"[junction]\r\n";
    std::vector<std::wstring> synced{folders + L"\\Sync"};
    for (int j = 0; j < 3; ++j) {
      synced.push_back(folders + L"\\Linked" + std::to_wstring(j));
      junctions += L"linked" + std::to_wstring(j) + L"|" + synced.back() + L"\r\n";
    }
    WriteUtf16(account + L"config.ini", L"[user]\r\nsyncpathenterprise=" + synced[0] + L"\r\n");
    WriteUtf16(account + L"junction.ini", junctions);
    const std::wstring userConfig = tree + L"\\" + UserFolderName(uid) + L"\\config.ini";
    WriteUtf16(userConfig, L"[user]\r\nusername=name" + uid + L"\r\nheader_image=C:\\avatars\\" + uid + L".png\r\n");
    reads.push_back({account + L"config.ini", L"user", L"syncpathenterprise"});
    reads.push_back({account + L"junction.ini", L"junction", L""});
    for (const std::wstring& folder : synced) {
      const std::wstring ini = folder + L"\\desktop.ini";
      WriteUtf16(ini, L"[veltarnbox]\r\nxid=" + uid + L"\r\neid=" + eid + L"\r\nnickname=nick\r\nenterprisename=Acme\r\n");
      for (const wchar_t* key : {L"xid", L"eid", L"nickname", L"enterprisename"}) reads.push_back({ini, L"veltarnbox", key});
      for (const wchar_t* key : {L"username", L"header_image"}) reads.push_back({userConfig, L"user", key});
    }
  }
  return reads;
}

// The floor: one bare walk of both trees and one profile read per value LoadAccounts reads.
void Floor(const std::wstring& appData, const std::vector<Read>& reads) {
  for (const wchar_t* tree : {L"\\VelQuillan\\sync\\*", L"\\VelQuillanWin\\*"}) {
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW((appData + tree).c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) continue;
    while (::FindNextFileW(find, &data)) {
    }
    ::FindClose(find);
  }
  static std::vector<wchar_t> buffer(32768);
  for (const Read& r : reads) {
    if (r.key.empty()) {
      ::GetPrivateProfileSectionW(r.section.c_str(), buffer.data(), 32768, r.file.c_str());
    } else {
      ::GetPrivateProfileStringW(r.section.c_str(), r.key.c_str(), L"", buffer.data(), 2080, r.file.c_str());
    }
  }
}

void BenchClassify() {
  double perAccount10 = 0;
  for (int accounts : {1, 10, 50}) {
    const std::wstring appData = MakeRoot(L"quillan-bench-config-");
    const std::vector<Read> reads = BuildAccounts(appData, accounts);
    SyncConfig config(appData);
    const std::wstring location = appData + L"\\Drive\\Account0\\Linked1\\sub\\folder";
    AccountEntry entry;
    bool found = false;
    const int rounds = accounts == 1 ? 40 : accounts == 10 ? 15 : 5;
    double classify = 0, floor = 0;
    // Alternate the two so that drift of the machine falls on both alike.
    for (int pass = 0; pass < 3; ++pass) {
      classify += Time([&] {
        config.LoadAccounts();
        found = config.FindAccount(location, &entry);
      }, rounds);
      floor += Time([&] { Floor(appData, reads); }, rounds);
    }
    const std::string name = "classify.accounts_" + std::to_string(accounts);
    std::printf("%s: %.1f us\n", name.c_str(), classify / 3 * 1e6);
    std::printf("%s.floor: %.1f us\n", name.c_str(), floor / 3 * 1e6);
    std::printf("%s ratio: %.2f\n", name.c_str(), classify / floor);
    std::printf("%s.entries: %zu count\n", name.c_str(), config.Entries().size());
    if (!found || config.Entries().size() != static_cast<size_t>(accounts) * 4) {
      std::printf("%s.error: 1 count\n", name.c_str());
    }
    const double perAccount = classify / 3 / accounts;
    std::printf("%s.per_account: %.1f us\n", name.c_str(), perAccount * 1e6);
    if (accounts == 10) perAccount10 = perAccount;
    if (accounts == 50) std::printf("classify.per_account_50_vs_10 ratio: %.2f\n", perAccount / perAccount10);
    RemoveTree(appData);
  }
}

void BenchExclusion() {
  NonSyncedFolderList list(L"C:\\unused");
  list.SetSyncFolder(L"D:\\Sync");
  std::wstring entries;
  for (int i = 0; i < 10000; ++i) {
    entries += L"\\Projects\\Team" + std::to_wstring(i % 97) + L"\\Folder" + std::to_wstring(i) + L"\r\n";
  }
  list.SetEntries(entries);
  double worstPair = 0;
  for (int count : {1, 100}) {
    std::vector<std::wstring> paths;
    for (int p = 0; p < count; ++p) paths.push_back(L"D:\\Sync\\Documents\\Reports\\2024\\report" + std::to_wstring(p) + L".docx");
    bool excluded = true;
    const double perCall = Time([&] { excluded = list.IsSelectionExcluded(paths); }, count == 1 ? 50 : 7);
    const double perPair = perCall / (10000.0 * count);
    worstPair = std::max(worstPair, perPair);
    std::printf("exclusion.paths_%d: %.1f us\n", count, perCall * 1e6);
    std::printf("exclusion.paths_%d.pair: %.1f ns\n", count, perPair * 1e9);
    if (excluded) std::printf("exclusion.paths_%d.error: 1 count\n", count);
  }
  std::printf("exclusion.pair: %.1f ns\n", worstPair * 1e9);
}

void BenchListFile() {
  const std::wstring root = MakeRoot(L"quillan-bench-list-");
  const std::wstring folder = root + L"\\VelQuillan\\sync\\" + AccountFolderName(L"U1", L"E1");
  MakeDirs(folder);
  const std::wstring file = folder + L"\\notsyncdir.dat";
  std::wstring text;
  for (int i = 0; i < 10000; ++i) text += L"\\Projects\\Team" + std::to_wstring(i % 97) + L"\\Folder" + std::to_wstring(i) + L"\r\n";
  WriteUtf16(file, text);
  // What the worker does each cycle: read, parse and prepare the list, and swap it in.
  NonSyncedFolderList list(root);
  list.SetAccount(L"U1", L"E1");
  const double read = Time([&] { list.Load(); }, 50);
  // Floor: opening the file and reading its bytes, nothing else.
  static std::vector<char> buffer(4 << 20);
  const double bare = Time([&] {
    HANDLE h = ::CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    DWORD got = 0;
    if (h != INVALID_HANDLE_VALUE) {
      ::ReadFile(h, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr);
      ::CloseHandle(h);
    }
  }, 50);
  std::wstring fileText;
  const double readText = Time([&] { ReadTextFile(file, &fileText); }, 50);
  const double prepare = Time([&] { PreparedEntries::FromText(fileText); }, 50);
  std::printf("list.read_10000_lines.read_text: %.1f us\n", readText * 1e6);
  std::printf("list.read_10000_lines.prepare: %.1f us\n", prepare * 1e6);
  std::printf("list.read_10000_lines: %.1f us\n", read * 1e6);
  std::printf("list.read_10000_lines.floor: %.1f us\n", bare * 1e6);
  std::printf("list.read_10000_lines ratio: %.2f\n", read / bare);
  if (list.EntryCount() != 10000) std::printf("list.read_10000_lines.error: 1 count\n");
  RemoveTree(root);
}

// A selection check against a list of a million entries, and checks made while a 64 MiB list loads.
void BenchLargeList() {
  std::wstring text;
  for (int i = 0; i < 1000000; ++i) text += L"\\Projects\\Team" + std::to_wstring(i % 97) + L"\\F" + std::to_wstring(i) + L"\r\n";
  NonSyncedFolderList list(L"C:\\unused");
  list.SetSyncFolder(L"D:\\Sync");
  list.SetEntries(text);
  const std::vector<std::wstring> selection = {L"D:\\Sync\\Documents\\report.docx"};
  bool excluded = true;
  const double check = Time([&] { excluded = list.IsSelectionExcluded(selection); }, 5);
  std::printf("list.check_1000000_entries: %.1f ms\n", check * 1e3);
  if (excluded) std::printf("list.check_1000000_entries.error: 1 count\n");

  const std::wstring root = MakeRoot(L"quillan-bench-biglist-");
  const std::wstring folder = root + L"\\VelQuillan\\sync\\" + AccountFolderName(L"U1", L"E1");
  MakeDirs(folder);
  std::wstring big;
  while (big.size() * 2 < (64u << 20) - 64) big += text.substr(0, std::min(text.size(), (64u << 20) / 2 - 32 - big.size()));
  big.resize(big.rfind(L'\n') + 1);
  WriteUtf16(folder + L"\\notsyncdir.dat", big);
  NonSyncedFolderList loading(root);
  loading.SetAccount(L"U1", L"E1");
  loading.SetSyncFolder(L"D:\\Sync");
  loading.SetEntries(L"\\Old\r\n");
  struct Loader {
    NonSyncedFolderList* list;
    double seconds = 0;
    static DWORD WINAPI Run(void* self) {
      auto* loader = static_cast<Loader*>(self);
      const double start = Now();
      loader->list->Load();
      loader->seconds = Now() - start;
      return 0;
    }
  } loader{&loading};
  HANDLE thread = ::CreateThread(nullptr, 0, &Loader::Run, &loader, 0, nullptr);
  double longest = 0;
  int checks = 0;
  while (::WaitForSingleObject(thread, 0) == WAIT_TIMEOUT) {
    const double start = Now();
    loading.IsSelectionExcluded({L"D:\\Sync\\Old\\a.txt"});
    longest = std::max(longest, Now() - start);
    ++checks;
    ::Sleep(5);
  }
  ::CloseHandle(thread);
  std::printf("list.load_64mib: %.1f ms\n", loader.seconds * 1e3);
  std::printf("list.check_during_64mib_load.longest: %.2f ms\n", longest * 1e3);
  std::printf("list.check_during_64mib_load.checks: %d count\n", checks);
  RemoveTree(root);
}

}  // namespace
}  // namespace quillan

int main() {
  quillan::BenchClassify();
  quillan::BenchExclusion();
  quillan::BenchListFile();
  quillan::BenchLargeList();
  return 0;
}
