#include "config/non_synced_folder_list.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "base/text.h"
#include "config_tree.h"

namespace quillan {
namespace {

using Lines = std::vector<std::wstring>;

Lines ReadList(const std::wstring& path, bool* ok = nullptr) {
  Lines list{L"stale"};
  bool result = ReadNonSyncedFile(path, &list);
  if (ok) *ok = result;
  return list;
}

// Collects this process's debug strings the way a debug-output monitor does (the DBWIN_BUFFER protocol).
class DebugOutputMonitor {
 public:
  DebugOutputMonitor() : thread_([this] { Run(); }) {}
  ~DebugOutputMonitor() {
    stop_ = true;
    thread_.join();
    if (view_) ::UnmapViewOfFile(view_);
  }
  bool ready() const { return view_ && bufferReady_ && dataReady_; }
  Lines Take() {
    ::Sleep(50);  // the monitor thread may still be copying the last string
    CriticalSectionLock lock(lock_);
    return std::exchange(strings_, Lines());
  }

 private:
  void Run() {
    while (!stop_) {
      if (!view_ || ::WaitForSingleObject(dataReady_.get(), 20) != WAIT_OBJECT_0) continue;
      if (*reinterpret_cast<const DWORD*>(view_) == ::GetCurrentProcessId()) {
        CriticalSectionLock lock(lock_);
        strings_.push_back(AnsiToWide(std::string(view_ + 4, ::strnlen(view_ + 4, 4092))));
      }
      ::SetEvent(bufferReady_.get());
    }
  }

  UniqueHandle bufferReady_{::CreateEventW(nullptr, FALSE, TRUE, L"DBWIN_BUFFER_READY")};
  UniqueHandle dataReady_{::CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_DATA_READY")};
  UniqueHandle mapping_{::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, L"DBWIN_BUFFER")};
  const char* view_ = mapping_ ? static_cast<const char*>(::MapViewOfFile(mapping_.get(), FILE_MAP_READ, 0, 0, 4096)) : nullptr;
  std::atomic<bool> stop_{false};
  CriticalSection lock_;
  Lines strings_;
  std::thread thread_;  // last: starts once everything above exists
};

TEST(NonSyncedList, ListFileLinesInEitherEncoding) {
  test::TempDir dir;
  const std::wstring f = dir / L"list.dat";
  const struct {
    std::string bytes;
    Lines lines;
  } rows[] = {
      {"\\A\r\n\\B", {L"\\A\r"}},  // the carriage return stays; text after the last line feed is no entry
      {std::string("\\A\n\\B\0\n\\C\n", 10), {L"\\A"}},  // the text ends at the first zero
      {"", {}},
      {"\\A\n\xCE", {L"\\A"}},  // a lead byte of 936 cut off by the end
      // UTF-16 with an odd byte count: the stray byte's character ends at the terminating zero.
      {std::string("\xFF\xFE\\\0A\0\n\0B\0\n\0x", 13), {L"\\A", L"B"}},
      {std::string("\xFF\xFE\\\0A\0\n", 7), {L"\\A"}},
      {std::string("\\\0A\0\n\0", 6), {}},  // without FF FE: ANSI text that ends at its first zero
      {"\xFF\xFE", {}},
      {"\xFF", {}},
  };
  for (const auto& row : rows) {
    ASSERT_TRUE(test::WriteBytes(f, row.bytes));
    EXPECT_EQ(ReadList(f), row.lines) << ::testing::PrintToString(row.bytes);
  }
  // Both encodings give the same entries; ANSI is the process's code page (936 here).
  test::WriteAnsiFile(f, L"\\A\r\n\\\u6587\u4EF6\n\n");
  EXPECT_EQ(ReadList(f), (Lines{L"\\A\r", L"\\\u6587\u4EF6", L""}));
  test::WriteUtf16File(f, L"\\A\r\n\\\u6587\u4EF6\n\n");
  EXPECT_EQ(ReadList(f), (Lines{L"\\A\r", L"\\\u6587\u4EF6", L""}));

  bool ok = false;
  EXPECT_EQ(ReadList(dir / L"missing.dat", &ok), Lines{});  // cannot be opened: no text, no failure
  EXPECT_TRUE(ok);
  EXPECT_EQ(ReadList(L"", &ok), Lines{});
  EXPECT_FALSE(ok);
}

TEST(NonSyncedList, SelectionExclusion) {
  NonSyncedFolderList list(L"C:\\unused");
  list.SetSyncFolder(L"D:\\Sync");
  EXPECT_FALSE(list.IsSelectionExcluded({L"D:\\Sync\\sub\\.velcache\\x", L"d:\\sync\\desktop.ini"}));  // empty list

  list.SetEntries(L"\\Projects\\New\n\\Old\r\n");
  EXPECT_FALSE(list.IsSelectionExcluded({}));
  for (const wchar_t* path : {L"d:\\sync\\old", L"D:\\SYNC\\OLD\\a.txt", L" \td:\\sync\\projects\\new\r\n",
                              L"\\\\?\\d:\\sync\\old\\x"}) {
    EXPECT_TRUE(list.IsSelectionExcluded({path})) << path;
  }
  for (const wchar_t* path : {L"d:\\sync\\older", L"d:\\sync\\projects", L"d:\\sync\\projects\\newer\\x"}) {
    EXPECT_FALSE(list.IsSelectionExcluded({path})) << path;
  }
  EXPECT_TRUE(list.IsSelectionExcluded({L"d:\\sync\\a", L"d:\\sync\\b", L"d:\\sync\\old\\c"}));
  EXPECT_TRUE(list.IsSelectionExcluded({L"d:\\sync\\old\\c", L"d:\\sync\\a", L"d:\\sync\\b"}));
  EXPECT_FALSE(list.IsSelectionExcluded({L"d:\\sync\\a", L"d:\\sync\\b"}));

  for (const wchar_t* path : {L"D:\\Sync\\sub\\.velcache\\x", L"E:\\any\\.dropbox.cache", L"d:\\sync\\DESKTOP.INI",
                              L"c:\\x\\.KLIVE", L"c:\\.kanbox.cache\\y", L"c:\\a.qbox.cache", L"c:\\.velsyslib"}) {
    EXPECT_TRUE(list.IsReservedPath(path)) << path;
    EXPECT_TRUE(list.IsSelectionExcluded({L"d:\\sync\\a", path})) << path;
  }
  EXPECT_FALSE(list.IsReservedPath(L"d:\\sync\\sub\\desktop.ini"));

  list.SetEntries(L" \r\n");  // a blank entry names the sync folder itself
  EXPECT_TRUE(list.IsSelectionExcluded({L"d:\\sync"}));
  EXPECT_TRUE(list.IsSelectionExcluded({L"d:\\sync\\any\\thing"}));
  EXPECT_FALSE(list.IsSelectionExcluded({L"d:\\syncx\\a"}));
}

class NonSyncedLoading : public ::testing::Test {
 protected:
  NonSyncedLoading() : list(tree.appData()) {
    list.SetAccount(L"U1", L"E1");
    list.SetSyncFolder(L"D:\\S");
  }
  void Load() { list.Load(); }
  // The entries as the path test sees them: each one excludes its folder, and there are no others.
  Lines Entries() const {
    Lines held;
    for (const wchar_t* entry : {L"\\Own", L"\\Other1", L"\\Other2", L"\\Deep"}) {
      if (list.IsSelectionExcluded({std::wstring(L"d:\\s") + entry})) held.push_back(entry);
    }
    return held.size() == list.EntryCount() ? held : Lines{L"?"};
  }

  test::ConfigTree tree;
  NonSyncedFolderList list;
  const std::wstring ownList = tree.SyncTree() + L"\\" + AccountFolderName(L"U1", L"E1") + L"\\notsyncdir.dat";
  const std::wstring redirect = tree.SyncTree() + L"\\IgnoreFilePath.txt";
};

TEST_F(NonSyncedLoading, RedirectHoldsForOneLoading) {
  DebugOutputMonitor monitor;
  ASSERT_TRUE(monitor.ready());
  test::WriteUtf16File(ownList, L"\\Own\r\n");
  const std::wstring other = tree.Folder(L"lists") + L"\\x.dat";
  test::WriteAnsiFile(other, L"\\Other1\n\\Other2\n");

  Load();
  EXPECT_EQ(Entries(), (Lines{L"\\Own"}));
  EXPECT_EQ(monitor.Take(), (Lines{L"", L"load ignore dir:" + ownList + L"\r\n"}));

  test::WriteUtf16File(redirect, L" \t" + other + L"\r\n");
  Load();
  EXPECT_EQ(Entries(), (Lines{L"\\Other1", L"\\Other2"}));
  EXPECT_FALSE(test::FileExists(redirect));
  EXPECT_EQ(monitor.Take(), (Lines{other, L"load ignore dir:" + other + L"\r\n"}));
  Load();
  EXPECT_EQ(Entries(), (Lines{L"\\Own"}));

  // A redirect to nothing, then no own list: the entries stay, the redirect goes.
  test::WriteAnsiFile(redirect, tree.appData() + L"\\nowhere.dat");
  ::DeleteFileW(ownList.c_str());
  Load();
  EXPECT_FALSE(test::FileExists(redirect));
  Load();
  EXPECT_EQ(Entries(), (Lines{L"\\Own"}));
  monitor.Take();

  // Without both ids nothing happens, not even the redirect's deletion.
  test::WriteAnsiFile(redirect, other);
  list.SetAccount(L"U1", L"");
  Load();
  EXPECT_TRUE(test::FileExists(redirect));
  EXPECT_EQ(Entries(), (Lines{L"\\Own"}));
  EXPECT_EQ(monitor.Take(), Lines{});
}

TEST_F(NonSyncedLoading, LockedListLeavesNoEntries) {
  test::WriteAnsiFile(ownList, L"\\Own\n");
  Load();
  ASSERT_EQ(Entries(), (Lines{L"\\Own"}));
  // The desktop application holding the file without sharing reads.
  UniqueFile locked(::CreateFileW(ownList.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(locked);
  Load();
  EXPECT_EQ(list.EntryCount(), 0u);
  locked.reset();
  Load();
  EXPECT_EQ(Entries(), (Lines{L"\\Own"}));
}

}  // namespace
}  // namespace quillan
