// Drives explorer-standin.exe (the program that stands in for an Explorer window) from a test or the demo: starts
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
#include <string>
#include <vector>

#include "harness.h"

namespace quillan::harness {

// One output line: its "type" and the line itself.
struct StandinRecord {
  std::wstring type;
  std::string line;

  std::wstring Text(const std::wstring& key) const;
  // A number, or a string holding one ("0x1F" too); fallback when there is none.
  long long Number(const std::wstring& key, long long fallback = -1) const;
  HWND Window(const std::wstring& key) const;
};

class ExplorerStandin {
 public:
  struct Options {
    std::wstring script;                  // the first steps (may be empty)
    std::vector<std::wstring> arguments;  // more options, e.g. L"--layout=xp", L"--dll=..."
  };

  ExplorerStandin() = default;
  ~ExplorerStandin() { process_.Kill(); }
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

  // Every complete line written so far, in order, or those of one type (empty: all).
  std::vector<StandinRecord> Records(const std::wstring& type = std::wstring()) const;
  // The raw output, for failure messages.
  std::string Log() const;
  const std::wstring& logPath() const { return log_; }

 private:
  TempDir dir_;
  ChildProcess process_;
  std::wstring log_;
};

}  // namespace quillan::harness
