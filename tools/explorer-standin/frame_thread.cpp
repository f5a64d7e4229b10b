#include "frame_thread.h"

#include <objbase.h>
#include <ole2.h>

#include "base/module.h"
#include "standin_output.h"

namespace quillan::standin {

namespace {

constexpr wchar_t kFrameControlClass[] = L"QuillanExplorerStandinFrameControl";
constexpr UINT kRunStepMessage = WM_APP + 0x51;

}  // namespace

struct FrameThread::Job {
  Step step;
  UniqueHandle done{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  bool ok = false;
};

FrameThread::FrameThread(const FrameOptions& options, HWND notify, UINT endedMessage)
    : options_(options), notify_(notify), endedMessage_(endedMessage) {}

FrameThread::~FrameThread() {
  if (thread_ && !Ended()) {
    RequestClose();
    // A frame that does not close within this time is left to the end of the process.
    Join(10000);
  }
}

bool FrameThread::Ended() const { return !thread_ || ::WaitForSingleObject(thread_.get(), 0) == WAIT_OBJECT_0; }

bool FrameThread::WaitPumping(HANDLE event, DWORD timeoutMs) {
  DWORD start = ::GetTickCount();
  HANDLE handles[2] = {event, thread_.get()};
  for (;;) {
    DWORD elapsed = ::GetTickCount() - start;
    if (elapsed >= timeoutMs) return false;
    DWORD got = ::MsgWaitForMultipleObjects(2, handles, FALSE, timeoutMs - elapsed, QS_ALLINPUT);
    if (got == WAIT_OBJECT_0) return true;
    if (got == WAIT_OBJECT_0 + 1) return ::WaitForSingleObject(event, 0) == WAIT_OBJECT_0;  // the thread ended
    if (got == WAIT_OBJECT_0 + 2) {
      MSG msg;
      while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
      }
      continue;
    }
    if (got == WAIT_FAILED) return false;
  }
}

bool FrameThread::Start(DWORD timeoutMs) {
  ready_.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!ready_) return false;
  thread_.reset(::CreateThread(nullptr, 0, &FrameThread::ThreadProc, this, 0, nullptr));
  if (!thread_) return false;
  return WaitPumping(ready_.get(), timeoutMs) && created_;
}

DWORD WINAPI FrameThread::ThreadProc(void* self) {
  static_cast<FrameThread*>(self)->ThreadMain();
  return 0;
}

LRESULT CALLBACK FrameThread::ControlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kRunStepMessage) {
    auto* self = reinterpret_cast<FrameThread*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    std::unique_ptr<std::shared_ptr<Job>> job(reinterpret_cast<std::shared_ptr<Job>*>(lParam));
    if (self && self->frame_) (*job)->ok = self->frame_->Execute((*job)->step);
    ::SetEvent((*job)->done.get());
    return 0;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

void FrameThread::ThreadMain() {
  HRESULT ole = ::OleInitialize(nullptr);
  static const ATOM registered = [] {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &FrameThread::ControlProc;
    wc.hInstance = ThisModule();
    wc.lpszClassName = kFrameControlClass;
    return ::RegisterClassExW(&wc);
  }();
  control_ = registered ? ::CreateWindowExW(0, kFrameControlClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                            ThisModule(), nullptr)
                        : nullptr;
  if (control_) ::SetWindowLongPtrW(control_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  {
    ExplorerFrame frame(options_);
    frame.SetClosedCallback([] { ::PostQuitMessage(0); });
    created_ = control_ && frame.Create();
    if (created_) {
      frameWindow_ = frame.tree().Frame();
      frame_ = &frame;
      frame.Start();
    }
    ::SetEvent(ready_.get());
    if (created_) {
      MSG msg;
      while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
      }
    }
    frame_ = nullptr;
    // Steps that arrived after the window went are dropped; their callers see the thread end.
    MSG msg;
    while (control_ && ::PeekMessageW(&msg, control_, kRunStepMessage, kRunStepMessage, PM_REMOVE)) {
      delete reinterpret_cast<std::shared_ptr<Job>*>(msg.lParam);
    }
  }
  if (control_) ::DestroyWindow(control_);
  if (SUCCEEDED(ole)) ::OleUninitialize();
  if (notify_) ::PostMessageW(notify_, endedMessage_, static_cast<WPARAM>(options_.id), 0);
}

bool FrameThread::Run(const Step& step, DWORD timeoutMs, bool* timedOut) {
  *timedOut = false;
  if (Ended() || !control_) return false;
  auto job = std::make_shared<Job>();
  job->step = step;
  auto* posted = new std::shared_ptr<Job>(job);
  if (!job->done || !::PostMessageW(control_, kRunStepMessage, 0, reinterpret_cast<LPARAM>(posted))) {
    delete posted;
    return false;
  }
  if (!WaitPumping(job->done.get(), timeoutMs)) {
    *timedOut = !Ended();
    return false;
  }
  return job->ok;
}

void FrameThread::RequestClose() {
  if (frameWindow_ && ::IsWindow(frameWindow_)) ::PostMessageW(frameWindow_, WM_CLOSE, 0, 0);
}

bool FrameThread::Join(DWORD timeoutMs) {
  if (!thread_) return true;
  HANDLE never = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!never) return ::WaitForSingleObject(thread_.get(), timeoutMs) == WAIT_OBJECT_0;
  WaitPumping(never, timeoutMs);
  ::CloseHandle(never);
  return Ended();
}

}  // namespace quillan::standin
