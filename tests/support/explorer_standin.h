// Drives explorer-standin.exe (the program that stands in for an Explorer window) from a test: starts
// it with a script, sends it more steps while it runs, reads back its output lines, finds its frame.
//
//   ExplorerStandin explorer;
//   ASSERT_TRUE(explorer.Start({L"navigate " + folder.path(), {L"--dll=" + BinDir() + L"\\QuillanShellUI.dll"}}));
//   HWND frame = explorer.WaitForFrame();
//   ASSERT_TRUE(explorer.Run(L"select a.txt; dump"));
//   auto views = explorer.Records(L"window");
//   ASSERT_TRUE(explorer.Run(L"quit"));
//   ASSERT_TRUE(explorer.WaitExit(10000));
//
// Every output line is a flat JSON object; see tools/explorer-standin/main.cpp for the steps and lines.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "test_support.h"

namespace quillan::test {

// One output line: its "type" and its other fields. Strings are unescaped; numbers, true and false
// are kept as written.
struct StandinRecord {
  std::wstring type;
  std::map<std::wstring, std::wstring> fields;

  bool Has(const std::wstring& key) const { return fields.count(key) != 0; }
  std::wstring Text(const std::wstring& key) const;
  long long Number(const std::wstring& key, long long fallback = -1) const;
  HWND Window(const std::wstring& key) const;
};

// Parses one line; false when it is not a flat JSON object with a "type".
bool ParseStandinRecord(const std::string& utf8, StandinRecord* record);

class ExplorerStandin {
 public:
  struct Options {
    std::wstring script;                  // the first steps (may be empty)
    std::vector<std::wstring> arguments;  // more options, e.g. L"--layout=xp", L"--dll=..."
    // Runs a copy of the program whose Windows version Wine reports as this (e.g. L"winxp64" for 5.2),
    // set through HKCU\Software\Wine\AppDefaults\<copy>\Version. Empty: the prefix's version.
    std::wstring claimVersion;
  };

  ExplorerStandin() = default;
  ~ExplorerStandin();  // kills the program if it still runs
  ExplorerStandin(const ExplorerStandin&) = delete;
  ExplorerStandin& operator=(const ExplorerStandin&) = delete;

  bool Start(const Options& options);
  // The frame window of window `frame` (1 is the first), once its "frame" line is out; null on time-out.
  HWND WaitForFrame(int frame = 1, DWORD timeoutMs = 30000);
  // Sends steps to the running program and waits until they have run (their "done" line); false when
  // they do not parse, the program is gone or they take longer than timeoutMs.
  bool Run(const std::wstring& steps, DWORD timeoutMs = 30000);
  // Waits until a line of this type for which predicate holds is out, pumping this thread's messages.
  bool WaitForRecord(const std::wstring& type, const std::function<bool(const StandinRecord&)>& predicate,
                     DWORD timeoutMs, StandinRecord* found = nullptr);
  bool WaitExit(DWORD timeoutMs) { return process_.Wait(timeoutMs); }
  DWORD ExitCode() const { return process_.ExitCode(); }
  DWORD pid() const { return process_.id(); }

  // Every complete line written so far, in order, and those of one type.
  std::vector<StandinRecord> Records() const;
  std::vector<StandinRecord> Records(const std::wstring& type) const;
  // The raw output, for failure messages.
  std::string Log() const;
  const std::wstring& logPath() const { return log_; }

 private:
  TempDir dir_;
  ChildProcess process_;
  std::wstring log_;
};

// Full path of explorer-standin.exe beside the test program.
std::wstring StandinProgram();
// A copy of the program that Wine runs as the given Windows version (see Options::claimVersion).
std::wstring StandinProgramClaiming(const std::wstring& wineVersion);
// The first top-level window of class CabinetWClass or ExploreWClass of a process; null when none.
HWND FindExplorerFrame(DWORD pid);

}  // namespace quillan::test
