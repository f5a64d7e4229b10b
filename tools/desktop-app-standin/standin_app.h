// The stand-in's main window: receives the records of the Explorer side, acts as the desktop
// application does for a logged-in account, and carries out control commands.
#pragma once

#include <windows.h>

#include <cstdint>
#include <deque>
#include <map>
#include <string>

#include "base/handle.h"
#include "ipc/records.h"
#include "json_log.h"
#include "pipe_servers.h"

namespace standin {

// WM_COPYDATA code of a control command to the main window; outside every record code of the system.
inline constexpr DWORD kControlCode = 0x5143;
// Answer of a control command that could not be carried out, and of a send that was not delivered.
inline constexpr LRESULT kControlFailed = -1;

struct Options {
  std::wstring logPath;
  std::wstring scenarioPath;
  bool cloudBarLogin = false;
  bool adoptOnLogin = true;
  DWORD hangMs = 0;
};

class StandinApp {
 public:
  StandinApp(const Options& options, JsonLog* log);
  ~StandinApp();

  bool Create();
  int Run();
  HWND window() const { return window_.get(); }

  // One command (the grammar is in main.cpp); its answer.
  LRESULT Execute(const std::wstring& command);

 private:
  struct Login {
    HWND host;
    HWND bar;
    quillan::AccountKey key;
    std::wstring label;
  };

  static LRESULT CALLBACK MainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK ChildProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnCopyData(const COPYDATASTRUCT& data);
  LRESULT OnRecord(const COPYDATASTRUCT& data);
  void OnPendingLogins();

  // Puts our window into the bar (reusing one already there) and announces it to the host with 33769.
  HWND Adopt(HWND host, HWND bar, const quillan::AccountKey& key, const std::wstring& label);
  bool DestroyChild(HWND bar);
  HWND ChildIn(HWND bar) const;
  LRESULT SendToHost(HWND host, const quillan::Record& record);
  bool HoldMutex(bool hold);
  LRESULT RunScenario(const std::wstring& path);

  Options options_;
  JsonLog* log_;
  PipeServers pipes_;
  quillan::UniqueWindow window_;
  quillan::UniqueHandle mutex_;
  std::map<HWND, HWND> children_;  // bar -> our window inside it
  std::map<HWND, std::wstring> labels_;
  std::deque<Login> logins_;
  DWORD hangMs_ = 0;
  long hangCount_ = -1;  // records still to hang on; -1: all
};

}  // namespace standin
