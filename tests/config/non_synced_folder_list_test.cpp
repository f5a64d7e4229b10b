#include "config/non_synced_folder_list.h"

#include <gtest/gtest.h>

#include <string>
#include <memory>
#include <utility>
#include <vector>

#include "base/text.h"
#include "test_support.h"

namespace quillan {
namespace {

using Lines = std::vector<std::wstring>;

// The debug strings of this process as a debugger sees them: each is raised as an exception first.
Lines g_debugStrings;
LONG CALLBACK CollectDebugString(EXCEPTION_POINTERS* exception) {
  const EXCEPTION_RECORD& record = *exception->ExceptionRecord;
  if (record.ExceptionCode == DBG_PRINTEXCEPTION_C && record.NumberParameters >= 2) {
    g_debugStrings.push_back(AnsiToWide(reinterpret_cast<const char*>(record.ExceptionInformation[1])));
  }
  return EXCEPTION_CONTINUE_SEARCH;
}
Lines TakeDebugStrings() { return std::exchange(g_debugStrings, Lines()); }

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
      // Both encodings give the same entries; ANSI is the process's code page (936 here).
      {"\\A\r\n\\\xCE\xC4\xBC\xFE\n\n", {L"\\A\r", L"\\\u6587\u4EF6", L""}},
      {std::string("\xFF\xFE\\\0A\0\r\0\n\0\\\0\x87\x65\xF6\x4E\n\0\n\0", 20), {L"\\A\r", L"\\\u6587\u4EF6", L""}},
  };
  for (const auto& row : rows) {
    ASSERT_TRUE(test::WriteBytes(f, row.bytes));
    Lines list{L"stale"};
    EXPECT_TRUE(ReadNonSyncedFile(f, &list));
    EXPECT_EQ(list, row.lines) << ::testing::PrintToString(row.bytes);
  }
  Lines list{L"stale"};
  EXPECT_TRUE(ReadNonSyncedFile(dir / L"missing.dat", &list));  // cannot be opened: no text, no failure
  EXPECT_EQ(list, Lines{});
  EXPECT_FALSE(ReadNonSyncedFile(L"", &list));
}

TEST(NonSyncedList, SelectionExclusion) {
  NonSyncedFolderList list(L"C:\\unused");
  list.SetSyncFolder(L"D:\\Sync");
  EXPECT_FALSE(list.IsSelectionExcluded({L"D:\\Sync\\sub\\.velcache\\x", L"d:\\sync\\desktop.ini"}));  // empty list

  list.SetEntries(L"\\Projects\\New\n\\Old\r\n");
  EXPECT_FALSE(list.IsSelectionExcluded({}));
  const struct {
    Lines paths;
    bool excluded;
  } rows[] = {
      {{L"d:\\sync\\old"}, true}, {{L"D:\\SYNC\\OLD\\a.txt"}, true}, {{L" \td:\\sync\\projects\\new\r\n"}, true},
      {{L"\\\\?\\d:\\sync\\old\\x"}, true}, {{L"d:\\sync\\older"}, false}, {{L"d:\\sync\\projects"}, false},
      {{L"d:\\sync\\projects\\newer\\x"}, false}, {{L"d:\\sync\\a", L"d:\\sync\\b"}, false},
      {{L"d:\\sync\\a", L"d:\\sync\\b", L"d:\\sync\\old\\c"}, true}, {{L"d:\\sync\\old\\c", L"d:\\sync\\a"}, true},
      // Reserved files and cache folders, whatever the entries.
      {{L"d:\\sync\\a", L"D:\\Sync\\sub\\.velcache\\x"}, true}, {{L"E:\\any\\.dropbox.cache"}, true},
      {{L"d:\\sync\\DESKTOP.INI"}, true}, {{L"c:\\x\\.KLIVE"}, true}, {{L"c:\\.kanbox.cache\\y"}, true},
      {{L"c:\\a.qbox.cache"}, true}, {{L"c:\\.velsyslib"}, true}, {{L"d:\\sync\\sub\\desktop.ini"}, false},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(list.IsSelectionExcluded(row.paths), row.excluded) << WideToUtf8(row.paths.back());
  }
  list.SetEntries(L" \r\n");  // a blank entry names the sync folder itself
  EXPECT_TRUE(list.IsSelectionExcluded({L"d:\\sync"}));
  EXPECT_TRUE(list.IsSelectionExcluded({L"d:\\sync\\any\\thing"}));
  EXPECT_FALSE(list.IsSelectionExcluded({L"d:\\syncx\\a"}));
}

TEST(NonSyncedList, LoadingReadsTheAccountsListOrARedirectForOneLoading) {
  test::TempDir appData;
  const std::wstring tree = appData / L"VelQuillan\\sync";
  NonSyncedFolderList list(appData.path());
  list.SetAccount(L"U1", L"E1");
  list.SetSyncFolder(L"D:\\S");
  // The entries as the path test sees them: each one excludes its folder, and there are no others.
  auto entries = [&] {
    Lines held;
    for (const wchar_t* entry : {L"\\Own", L"\\Other1", L"\\Other2"}) {
      if (list.IsSelectionExcluded({std::wstring(L"d:\\s") + entry})) held.push_back(entry);
    }
    return held.size() == list.EntryCount() ? held : Lines{L"?"};
  };
  const std::wstring own = tree + L"\\" + AccountFolderName(L"U1", L"E1") + L"\\notsyncdir.dat";
  const std::wstring redirect = tree + L"\\IgnoreFilePath.txt";
  const std::wstring other = appData / L"lists\\x.dat";
  const Lines ownRead = {L"", L"load ignore dir:" + own + L"\r\n"};
  test::WriteUtf16File(own, L"\\Own\r\n");
  test::WriteAnsiFile(other, L"\\Other1\n\\Other2\n");
  // The loader speaks only while someone listens for debug output.
  UniqueHandle listening(::CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_BUFFER_READY"));
  const std::unique_ptr<void, decltype(&::RemoveVectoredExceptionHandler)> handler(
      ::AddVectoredExceptionHandler(1, CollectDebugString), &::RemoveVectoredExceptionHandler);

  list.Load();
  EXPECT_EQ(entries(), Lines{L"\\Own"});
  EXPECT_EQ(TakeDebugStrings(), ownRead);
  test::WriteUtf16File(redirect, L" \t" + other + L"\r\n");
  list.Load();
  EXPECT_EQ(entries(), (Lines{L"\\Other1", L"\\Other2"}));
  EXPECT_FALSE(test::FileExists(redirect));
  EXPECT_EQ(TakeDebugStrings(), (Lines{other, L"load ignore dir:" + other + L"\r\n"}));
  test::WriteAnsiFile(redirect, L" \r\n");  // blanks only: no redirect, and deleted all the same
  list.Load();
  EXPECT_EQ(entries(), Lines{L"\\Own"});
  EXPECT_FALSE(test::FileExists(redirect));
  EXPECT_EQ(TakeDebugStrings(), ownRead);

  // A redirect to nothing, then no own list: the entries stay.
  test::WriteAnsiFile(redirect, appData.path() + L"\\nowhere.dat");
  ::DeleteFileW(own.c_str());
  list.Load();
  list.Load();
  EXPECT_EQ(entries(), Lines{L"\\Own"});
  EXPECT_EQ(TakeDebugStrings(), (Lines{appData.path() + L"\\nowhere.dat", L""}));
  // A list the desktop application holds without sharing reads leaves no entries.
  test::WriteAnsiFile(own, L"\\Own\n");
  UniqueFile locked(::CreateFileW(own.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(locked);
  list.Load();
  EXPECT_EQ(list.EntryCount(), 0u);
  EXPECT_EQ(TakeDebugStrings(), ownRead);
  // Without both ids nothing happens, not even the redirect's deletion.
  test::WriteAnsiFile(redirect, other);
  list.SetAccount(L"U1", L"");
  list.Load();
  EXPECT_TRUE(test::FileExists(redirect));
  EXPECT_EQ(TakeDebugStrings(), Lines{});
}

}  // namespace
}  // namespace quillan
