#include "standin_app.h"

#include "base/module.h"
#include "standin_output.h"
#include "standin_protocol.h"

namespace quillan::standin {

namespace {

constexpr UINT kFrameEndedMessage = WM_APP + 0x52;
constexpr DWORD kFrameStartTimeoutMs = 60000;

}  // namespace

StandinApp::StandinApp(const AppOptions& options) : options_(options) {}

StandinApp::~StandinApp() {
  frames_.clear();
  if (control_) ::DestroyWindow(control_);
}

LRESULT CALLBACK StandinApp::ControlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* app = reinterpret_cast<StandinApp*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (app && message == WM_COPYDATA) return app->OnCopyData(reinterpret_cast<const COPYDATASTRUCT*>(lParam));
  if (app && message == kFrameEndedMessage) {
    // The frame's own "closed" line has been written; nothing else to do but to notice.
    return 0;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

LRESULT StandinApp::OnCopyData(const COPYDATASTRUCT* data) {
  if (!data || data->dwData != kStepsCopyDataCode || (data->cbData % sizeof(wchar_t)) != 0 ||
      (data->cbData && !data->lpData)) {
    return 0;
  }
  std::wstring text(static_cast<const wchar_t*>(data->lpData), data->cbData / sizeof(wchar_t));
  Batch batch{nextBatch_, {}};
  std::wstring error;
  if (!ParseScript(text, &batch.steps, &error)) {
    JsonLine("error").Add("batch", nextBatch_).Add("message", error).Emit();
    ++errors_;
    return 0;
  }
  ++nextBatch_;
  batches_.push_back(std::move(batch));
  return batches_.back().id;
}

bool StandinApp::CreateControlWindow() {
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &StandinApp::ControlProc;
  wc.hInstance = ThisModule();
  wc.lpszClassName = kControlWindowClass;
  if (!::RegisterClassExW(&wc)) return false;
  control_ = ::CreateWindowExW(0, kControlWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, ThisModule(), nullptr);
  if (!control_) return false;
  ::SetWindowLongPtrW(control_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  return true;
}

void StandinApp::Pump(DWORD ms) {
  DWORD start = ::GetTickCount();
  for (;;) {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
    DWORD elapsed = ::GetTickCount() - start;
    if (elapsed >= ms) return;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, ms - elapsed, QS_ALLINPUT);
  }
}

int StandinApp::LiveFrames() const {
  int live = 0;
  for (const auto& frame : frames_) live += frame->Ended() ? 0 : 1;
  return live;
}

FrameThread* StandinApp::Current() {
  for (auto& frame : frames_) {
    if (frame->id() == currentFrame_) return frame.get();
  }
  return nullptr;
}

bool StandinApp::Fail(const Step& step, const std::wstring& message) {
  JsonLine("error").Add("line", step.line).Add("step", step.Text()).Add("message", message).Emit();
  return false;
}

int StandinApp::Run() {
  if (!CreateControlWindow()) {
    JsonLine("error").Add("message", "cannot create the control window").Emit();
    return 1;
  }
  DWORD version = ::GetVersion();
  JsonLine("start")
      .Add("pid", static_cast<unsigned long>(::GetCurrentProcessId()))
      .Add("version", std::to_wstring(LOBYTE(LOWORD(version))) + L"." + std::to_wstring(HIBYTE(LOWORD(version))))
      .Add("layout", LayoutName(options_.frame.window.layout))
      .Add("control", control_)
      .Emit();

  Batch first{0, {}};
  std::wstring error;
  if (!ParseScript(options_.script, &first.steps, &error)) {
    JsonLine("error").Add("batch", 0).Add("message", error).Emit();
    JsonLine("exit").Add("code", 2).Emit();
    return 2;
  }
  FrameOptions frameOptions = options_.frame;
  frameOptions.id = nextFrameId_++;
  auto frame = std::make_unique<FrameThread>(frameOptions, control_, kFrameEndedMessage);
  bool started = frame->Start(kFrameStartTimeoutMs);
  frames_.push_back(std::move(frame));
  if (!started) {
    JsonLine("error").Add("frame", frameOptions.id).Add("message", "the first window did not come up").Emit();
    JsonLine("exit").Add("code", 1).Emit();
    return 1;
  }
  currentFrame_ = frameOptions.id;
  batches_.push_front(std::move(first));

  while (!exitRequested_) {
    if (!batches_.empty()) {
      Batch batch = std::move(batches_.front());
      batches_.pop_front();
      RunBatch(batch);
      continue;
    }
    if (LiveFrames() == 0) break;
    Pump(50);
  }
  for (auto& running : frames_) running->RequestClose();
  for (auto& running : frames_) {
    if (!running->Join(10000)) {
      JsonLine("error").Add("frame", running->id()).Add("message", "the window did not close").Emit();
      ++errors_;
    }
  }
  ClassSource dll(options_.frame.dllPath);
  HRESULT canUnload = dll.CanUnloadNow();
  if (!options_.frame.dllPath.empty() && canUnload != E_FAIL) {
    JsonLine("dll").Add("path", options_.frame.dllPath).Hex("can-unload", static_cast<unsigned long>(canUnload)).Emit();
  }
  int code = errors_ ? 3 : 0;
  JsonLine("exit").Add("code", code).Add("errors", errors_).Emit();
  return code;
}

void StandinApp::RunBatch(const Batch& batch) {
  int before = errors_;
  for (const Step& step : batch.steps) {
    if (exitRequested_) break;
    if (!RunStep(step)) ++errors_;
  }
  JsonLine("done").Add("batch", batch.id).Add("steps", static_cast<int>(batch.steps.size())).Add("errors", errors_ - before).Emit();
}

bool StandinApp::RunStep(const Step& step) {
  if (step.verb == L"wait") return StepWait(step);
  if (step.verb == L"waitfor") return StepWaitFor(step);
  if (step.verb == L"new-window") return StepNewWindow(step);
  if (step.verb == L"window") return StepWindow(step);
  if (step.verb == L"echo") {
    std::wstring text;
    for (const auto& arg : step.args) text += (text.empty() ? L"" : L" ") + arg;
    JsonLine("echo").Add("text", text).Emit();
    return true;
  }
  if (step.verb == L"exit") {
    exitRequested_ = true;
    return true;
  }
  FrameThread* frame = Current();
  if (!frame || frame->Ended()) return Fail(step, L"window " + std::to_wstring(currentFrame_) + L" is closed");
  bool timedOut = false;
  bool ok = frame->Run(step, options_.stepTimeoutMs, &timedOut);
  if (timedOut) return Fail(step, L"window " + std::to_wstring(currentFrame_) + L" does not answer");
  if (!ok && frame->Ended()) {
    if (step.verb == L"quit" || step.verb == L"close") return true;
    return Fail(step, L"window " + std::to_wstring(currentFrame_) + L" closed before the step ran");
  }
  return ok;
}

bool StandinApp::StepWait(const Step& step) {
  long long ms = 0;
  if (step.args.size() != 1 || !ParseNumber(step.args[0], &ms) || ms < 0 || ms > 600000) {
    return Fail(step, L"wait takes milliseconds");
  }
  Pump(static_cast<DWORD>(ms));
  JsonLine("wait").Add("ms", ms).Emit();
  return true;
}

bool StandinApp::StepWaitFor(const Step& step) {
  long long timeout = 5000;
  if (step.args.empty() || step.args.size() > 2 || (step.args.size() == 2 && !ParseNumber(step.args[1], &timeout)) ||
      timeout < 0 || timeout > 600000) {
    return Fail(step, L"waitfor takes a class name and milliseconds");
  }
  FrameThread* frame = Current();
  if (!frame || frame->Ended()) return Fail(step, L"window " + std::to_wstring(currentFrame_) + L" is closed");
  bool gone = step.Has(L"gone");
  DWORD start = ::GetTickCount();
  bool met = false;
  for (;;) {
    met = (FindDescendant(frame->frameWindow(), step.args[0], true) != nullptr) != gone;
    if (met || ::GetTickCount() - start >= static_cast<DWORD>(timeout)) break;
    Pump(20);
  }
  JsonLine("waitfor")
      .Add("frame", frame->id())
      .Add("class", step.args[0])
      .Add("gone", gone)
      .Add("met", met)
      .Add("elapsed", static_cast<unsigned long>(::GetTickCount() - start))
      .Emit();
  return met ? true : Fail(step, L"waitfor timed out");
}

bool StandinApp::StepNewWindow(const Step& step) {
  FrameOptions frameOptions = options_.frame;
  frameOptions.id = nextFrameId_++;
  frameOptions.startPath = step.Option(L"path");
  const int offset = 30 * (frameOptions.id - 1);
  OffsetRect(&frameOptions.window.placement, offset, offset);
  if (step.Has(L"layout") && !ParseLayout(step.Option(L"layout"), &frameOptions.window.layout)) {
    return Fail(step, L"--layout is vista, xp or xp-dui");
  }
  if (step.Has(L"frame-class")) frameOptions.window.frameClass = step.Option(L"frame-class");
  long long navWidth = 0;
  if (!step.IntOption(L"nav-width", frameOptions.window.navWidth, &navWidth)) return Fail(step, L"bad --nav-width");
  frameOptions.window.navWidth = static_cast<int>(navWidth);
  if (step.Has(L"band")) {
    std::wstring band = step.Option(L"band");
    if (band == L"clsid") frameOptions.band = BandLoad::Clsid;
    else if (band == L"registry") frameOptions.band = BandLoad::Registry;
    else if (band == L"none") frameOptions.band = BandLoad::None;
    else return Fail(step, L"--band is clsid, registry or none");
  }
  auto frame = std::make_unique<FrameThread>(frameOptions, control_, kFrameEndedMessage);
  bool started = frame->Start(kFrameStartTimeoutMs);
  frames_.push_back(std::move(frame));
  if (!started) return Fail(step, L"the window did not come up");
  currentFrame_ = frameOptions.id;
  return true;
}

bool StandinApp::StepWindow(const Step& step) {
  long long id = 0;
  if (step.args.size() != 1 || !ParseNumber(step.args[0], &id)) return Fail(step, L"window takes a window number");
  for (const auto& frame : frames_) {
    if (frame->id() == id) {
      currentFrame_ = static_cast<int>(id);
      JsonLine("switch").Add("frame", currentFrame_).Add("hwnd", frame->frameWindow()).Add("closed", frame->Ended()).Emit();
      return true;
    }
  }
  return Fail(step, L"no window " + step.args[0]);
}

}  // namespace quillan::standin
