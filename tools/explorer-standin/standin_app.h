// The stand-in program: its frames (one thread each), the script batches it runs in order, and its
// control window through which other programs add batches while it runs.
#pragma once

#include <windows.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "explorer_frame.h"
#include "frame_thread.h"
#include "script.h"

namespace quillan::standin {

struct AppOptions {
  FrameOptions frame;          // the first frame, and the defaults of frames made by new-window
  std::wstring script;         // the first batch
  DWORD stepTimeoutMs = 60000; // how long a frame may take for one step before it counts as hung
};

class StandinApp {
 public:
  explicit StandinApp(const AppOptions& options);
  ~StandinApp();

  // Runs until every frame is closed and every batch has run, or until an exit step; returns the
  // exit code: 0, or 3 when a step failed, or 1 when the first frame could not be created.
  int Run();

 private:
  struct Batch {
    int id;
    std::vector<Step> steps;
  };

  static LRESULT CALLBACK ControlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnCopyData(const COPYDATASTRUCT* data);
  bool CreateControlWindow();
  void RunBatch(const Batch& batch);
  bool RunStep(const Step& step);
  bool StepWait(const Step& step);
  bool StepWaitFor(const Step& step);
  bool StepNewWindow(const Step& step);
  bool StepWindow(const Step& step);
  FrameThread* Current();
  int LiveFrames() const;
  void Pump(DWORD ms);
  bool Fail(const Step& step, const std::wstring& message);

  AppOptions options_;
  HWND control_ = nullptr;
  std::vector<std::unique_ptr<FrameThread>> frames_;
  int currentFrame_ = 1;
  int nextFrameId_ = 1;
  std::deque<Batch> batches_;
  int nextBatch_ = 1;
  int errors_ = 0;
  bool exitRequested_ = false;
};

}  // namespace quillan::standin
