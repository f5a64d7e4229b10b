// The demo, step by step: installs the DLL as an installer would (a copy beside the application,
// registered with regsvr32), writes the sample configuration, starts the application and an Explorer
// window (the two stand-ins), and walks through what a user sees, telling each step in a few lines and
// taking pictures of the window. Every step checks what it shows and says so; Cleanup undoes all of it
// (processes, registration, configuration, files), whatever happened.
//
//   DemoSession demo(options);
//   if (demo.Prepare())
//     for (int step = 1; step <= DemoSession::kSteps; ++step) demo.RunStep(step);
//   demo.Cleanup();
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "desktop_app.h"
#include "explorer_driver.h"
#include "sample_config.h"

namespace quillan::demo {

struct DemoOptions {
  std::wstring binDir;      // the DLL and the two stand-ins
  std::wstring dll;         // the DLL to install; empty: binDir\QuillanShellUI.dll
  std::wstring installDir;  // gets shell\QuillanShellUI.dll and VelQuillanUI.exe, as an installer would
  std::wstring appData;     // the user's roaming AppData; empty: what the shell says
  std::wstring root;        // the sample folders
  std::wstring pictures;    // the pictures and the two programs' logs; empty: none
  std::function<void(const std::wstring&)> print;  // one line of the story
};

class DemoSession {
 public:
  static constexpr int kSteps = 7;
  static const wchar_t* StepTitle(int step);

  explicit DemoSession(DemoOptions options);
  ~DemoSession();
  DemoSession(const DemoSession&) = delete;
  DemoSession& operator=(const DemoSession&) = delete;

  // Install, registration, configuration, the application. False when the demo cannot go on.
  bool Prepare();
  // Step 1 to kSteps; each one after the ones before it. False when it did not show what it should.
  bool RunStep(int step);
  // Ends every process and removes what Prepare made; runs at destruction too.
  void Cleanup();

  // What the steps worked with, for a test that checks what they showed.
  const SampleConfig& config() const { return config_; }
  const DesktopApp& app() const { return app_; }
  harness::ExplorerStandin* explorer() { return explorer_.get(); }
  const std::wstring& installedDll() const { return installedDll_; }
  // The windows of the last dump of the Explorer window ("window" lines).
  std::vector<harness::StandinRecord> LastDump() const;
  // The items of every menu shown so far, one list per menu ("menu-item" lines).
  const std::vector<std::vector<harness::StandinRecord>>& menus() const { return menus_; }
  // Pictures written so far (full paths).
  const std::vector<std::wstring>& pictures() const { return pictures_; }
  const std::vector<std::wstring>& failures() const { return failures_; }

 private:
  bool Outside();
  bool LoginBar();
  bool Login();
  bool LoggedIn();
  bool Menus();
  bool Share();
  bool Close();

  bool Install();
  bool Register();
  bool StartExplorer();
  // Runs steps in the Explorer window; the lines they wrote. False (and a failure) on a step error.
  bool Explore(const std::wstring& steps, std::vector<harness::StandinRecord>* lines = nullptr, DWORD timeoutMs = 30000);
  // A picture step for the file name (nothing without a pictures folder); "" when none.
  std::wstring PictureStep(const std::wstring& name, const std::wstring& options = std::wstring());
  // Posts a click to the middle of a window, as the user's mouse would.
  static void Click(HWND window);
  // Prints the records of the code received after the mark; how many.
  size_t ShowRecords(size_t mark, DWORD code);
  bool Fail(const std::wstring& why);
  void Say(const std::wstring& text);
  void Detail(const std::wstring& text);

  DemoOptions options_;
  std::wstring installedDll_;
  bool registered_ = false;
  SampleConfig config_;
  DesktopApp app_;
  std::unique_ptr<harness::ExplorerStandin> explorer_;
  std::vector<std::vector<harness::StandinRecord>> menus_;
  std::vector<std::wstring> pictures_;
  std::vector<std::wstring> failures_;
  bool cleaned_ = false;
};

}  // namespace quillan::demo
