// An Explorer window on a thread of its own, as Explorer runs each of its windows: the thread
// initialises OLE (single-threaded apartment), creates the frame, loads the helpers, and runs the
// message loop until the window is gone. Steps are handed over as posted messages, so they run
// from the loop like input does, never inside another thread's SendMessage.
#pragma once

#include <windows.h>

#include <memory>

#include "base/handle.h"
#include "explorer_frame.h"
#include "script.h"

namespace quillan::standin {

class FrameThread {
 public:
  // endedMessage is posted to notify (wParam = frame id) when the thread is about to end.
  FrameThread(const FrameOptions& options, HWND notify, UINT endedMessage);
  ~FrameThread();
  FrameThread(const FrameThread&) = delete;
  FrameThread& operator=(const FrameThread&) = delete;

  // Starts the thread and waits (pumping this thread's messages) until the frame is up and its
  // helpers are loaded. False when the frame could not be created or did not come up in time.
  bool Start(DWORD timeoutMs);
  // Runs a step on the frame's thread and waits for it. *timedOut tells a frame that did not answer.
  bool Run(const Step& step, DWORD timeoutMs, bool* timedOut);
  // Asks the frame to close as the user would (WM_CLOSE).
  void RequestClose();
  // Waits for the thread to end, pumping this thread's messages.
  bool Join(DWORD timeoutMs);

  int id() const { return options_.id; }
  HWND frameWindow() const { return frameWindow_; }
  bool Ended() const;

 private:
  struct Job;
  static DWORD WINAPI ThreadProc(void* self);
  static LRESULT CALLBACK ControlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void ThreadMain();
  bool WaitPumping(HANDLE event, DWORD timeoutMs);

  FrameOptions options_;
  HWND notify_;
  UINT endedMessage_;
  UniqueHandle thread_;
  UniqueHandle ready_;
  HWND control_ = nullptr;  // message-only window of the frame's thread
  HWND frameWindow_ = nullptr;
  bool created_ = false;
  ExplorerFrame* frame_ = nullptr;  // valid on the frame's thread while it runs
};

}  // namespace quillan::standin
