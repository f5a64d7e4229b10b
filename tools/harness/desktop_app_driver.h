// Drives tools/desktop-app-standin from a test or a benchmark: starts it with its log in a temporary folder, waits for
// its main window, sends it control commands and reads its log back.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "harness.h"

namespace quillan::harness {

// The stand-in's control code and its failure answer.
inline constexpr DWORD kStandinControlCode = 0x5143;
inline constexpr LRESULT kStandinFailed = -1;

// One "record" line of the log: a record the stand-in's main window received.
struct DesktopAppRecord {
  DWORD code = 0;
  size_t size = 0;
  std::vector<uint8_t> payload;
  DWORD tick = 0;
  std::string line;  // the whole JSON line, decoded "fields" included
};

// Every line of a stand-in log, and its record lines parsed.
std::vector<std::string> ReadStandinLog(const std::wstring& logPath);
std::vector<DesktopAppRecord> ReadStandinRecords(const std::wstring& logPath);
// One record line of the log; false for any other line.
bool ParseStandinRecord(const std::string& line, DesktopAppRecord* record);
// The stand-in's main window in the process, or null.
HWND FindStandinMainWindow(DWORD processId);
// One command of the stand-in's control interface through its main window; kStandinFailed when the
// send fails or times out.
LRESULT SendStandinControl(HWND window, const std::wstring& command, DWORD timeoutMs);

// The event name of a line ("start", "record", "sent", "child", "pipe", "control").
std::string JsonEvent(const std::string& line);

class DesktopAppStandin {
 public:
  DesktopAppStandin();
  ~DesktopAppStandin();
  DesktopAppStandin(const DesktopAppStandin&) = delete;
  DesktopAppStandin& operator=(const DesktopAppStandin&) = delete;

  // Starts BinDir()\desktop-app-standin.exe (or exe) with "--log <temp>\standin.log" and args, waits
  // until its main window exists and has answered a ping (so a --scenario has run).
  bool Start(const std::vector<std::wstring>& args = {}, const std::wstring& exe = std::wstring());
  // Asks it to quit and waits; kills it when it does not end.
  void Stop();

  HWND MainWindow() const { return window_; }
  DWORD ProcessId() const { return process_.id(); }
  const std::wstring& LogPath() const { return logPath_; }
  const TempDir& Dir() const { return dir_; }

  // Writes a scenario file (commands, one per line) into the temporary folder; its path.
  std::wstring WriteScenario(const std::wstring& commands) const;

  // One control command (see the stand-in's main.cpp); its answer, kStandinFailed when refused or
  // not delivered. This thread keeps serving messages sent to its own windows meanwhile.
  LRESULT Control(const std::wstring& command, DWORD timeoutMs = 10000) const;

  std::vector<std::string> Lines(const std::string& event = std::string()) const;
  std::vector<DesktopAppRecord> Records(DWORD code = 0) const;  // 0: every code
  // Pumps this thread's messages until the log holds count records of code (0: any); true when reached
  // within timeoutMs.
  bool WaitForRecords(DWORD code, size_t count, DWORD timeoutMs) const;

 private:
  TempDir dir_;
  std::wstring logPath_;
  ChildProcess process_;
  HWND window_ = nullptr;
};

}  // namespace quillan::harness
