// The desktop application as the demo sees it: the installed VelQuillanUI.exe (the desktop-application
// stand-in under the application's name), whichever process of it runs now. The demo starts it as a
// user would; later the Explorer component starts it for a login. Every instance appends to the same
// log beside the executable, so a step reads what arrived after its mark.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/handle.h"
#include "desktop_app_driver.h"

namespace quillan::demo {

class DesktopApp {
 public:
  // exe: the installed application; its log is the same path with ".log".
  explicit DesktopApp(std::wstring exe);
  ~DesktopApp();
  DesktopApp(const DesktopApp&) = delete;
  DesktopApp& operator=(const DesktopApp&) = delete;

  // Starts the application and waits until its main window answers.
  bool Start();
  // Takes the instance that owns the main window now (one that someone else started).
  bool Find(DWORD timeoutMs);
  // Asks the running instance to quit and waits for it; kills it when it does not end.
  void Quit();
  // Ends every instance there is (the one known and any other main window of its class).
  void QuitAll();

  bool Running() const;
  DWORD pid() const { return pid_; }
  HWND mainWindow() const { return window_; }
  const std::wstring& exe() const { return exe_; }
  const std::wstring& logPath() const { return log_; }

  // One command of the stand-in's control interface; -1 when refused or not delivered.
  LRESULT Control(const std::wstring& command) const;

  // The log's complete lines; a mark is their number at some moment.
  std::vector<std::string> Lines() const;
  size_t Mark() const { return Lines().size(); }
  // Records received after the mark, of one code (0: every code).
  std::vector<harness::DesktopAppRecord> RecordsSince(size_t mark, DWORD code = 0) const;
  // Waits for a record after the mark for which accept holds (null: any of the code).
  bool WaitForRecord(size_t mark, DWORD code, const std::function<bool(const harness::DesktopAppRecord&)>& accept,
                     DWORD timeoutMs, harness::DesktopAppRecord* found = nullptr) const;
  // Waits for a log line of the event after the mark for which accept holds.
  bool WaitForLine(size_t mark, const std::string& event, const std::function<bool(const std::string&)>& accept,
                   DWORD timeoutMs, std::string* found = nullptr) const;

 private:
  bool Take(HWND window);

  std::wstring exe_;
  std::wstring log_;
  UniqueHandle process_;
  DWORD pid_ = 0;
  HWND window_ = nullptr;
};

}  // namespace quillan::demo
