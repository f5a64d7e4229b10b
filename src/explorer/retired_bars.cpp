#include "explorer/retired_bars.h"

#include <algorithm>
#include <utility>

#include "base/handle.h"

namespace quillan {

namespace {

const WindowClassInfo kLotClass = {L"QuillanRetiredBars", 0, nullptr, nullptr};

struct ForeignProbe {
  DWORD thread;
  UINT timeoutMs;
  bool allAnswer;
};

BOOL CALLBACK ProbeChild(HWND child, LPARAM param) {
  auto* probe = reinterpret_cast<ForeignProbe*>(param);
  if (::GetWindowThreadProcessId(child, nullptr) == probe->thread) return TRUE;
  DWORD_PTR answer = 0;
  // A window the system counts as hung is not asked at all; any other gets a bounded WM_NULL.
  if (::IsHungAppWindow(child) ||
      !::SendMessageTimeoutW(child, WM_NULL, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, probe->timeoutMs, &answer)) {
    probe->allAnswer = false;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

RetiredBars::~RetiredBars() {
  // Only at module unload, which cannot happen while a retired bar lives (each is a live window).
  bars_.clear();
}

bool RetiredBars::ForeignChildrenAnswer(HWND window, UINT timeoutMs) {
  ForeignProbe probe = {::GetCurrentThreadId(), timeoutMs, true};
  ::EnumChildWindows(window, &ProbeChild, reinterpret_cast<LPARAM>(&probe));
  return probe.allAnswer;
}

void RetiredBars::Retire(std::unique_ptr<CTopBand>& bar) {
  std::unique_ptr<CTopBand> taken = std::move(bar);
  if (!taken) return;
  if (!taken->IsWindow()) return;  // the object goes; there is no window to wait for
  taken->PrepareToClose();
  if (ForeignChildrenAnswer(taken->window(), kFirstProbeMs)) return;  // destroyed with taken, at once
  if (!IsWindow()) {
    ForgetIfDestroyed();  // a lot window of an earlier thread with this id went with that thread
    const RECT none = {};
    Create(kLotClass, nullptr, none, nullptr, WS_POPUP);
  }
  if (!IsWindow()) return;  // no lot: the bar is destroyed now, whatever it waits for
  // Neither hiding nor re-parenting a window waits on the foreign windows inside it.
  ::ShowWindow(taken->window(), SW_HIDE);
  if (!::SetParent(taken->window(), m_hWnd)) return;
  try {
    bars_.push_back(std::move(taken));
  } catch (...) {  // no memory to keep it: destroyed now
    return;
  }
  ::SetTimer(m_hWnd, kSweepTimer, kSweepPeriodMs, nullptr);
}

void RetiredBars::Sweep() {
  auto done = [](const std::unique_ptr<CTopBand>& bar) {
    return !bar->IsWindow() || ForeignChildrenAnswer(bar->window(), kSweepProbeMs);
  };
  // Destroyed one at a time outside the vector's own erase, which must not run window procedures.
  for (;;) {
    auto it = std::find_if(bars_.begin(), bars_.end(), done);
    if (it == bars_.end()) break;
    std::unique_ptr<CTopBand> bar = std::move(*it);
    bars_.erase(it);
    bar.reset();
  }
  if (bars_.empty()) {
    ::KillTimer(m_hWnd, kSweepTimer);
    DestroyWindow();
  }
}

BOOL RetiredBars::ProcessWindowMessage(HWND, UINT message, WPARAM wParam, LPARAM, LRESULT& result) {
  if (message != WM_TIMER || wParam != kSweepTimer) return FALSE;
  Sweep();
  result = 0;
  return TRUE;
}

RetiredBars& ThreadRetiredBars() {
  struct Lot {
    DWORD thread;
    std::unique_ptr<RetiredBars> bars;
  };
  static CriticalSection lock;
  static std::vector<Lot> lots;
  const DWORD thread = ::GetCurrentThreadId();
  CriticalSectionLock hold(lock);
  for (Lot& lot : lots) {
    if (lot.thread == thread) return *lot.bars;
  }
  lots.push_back(Lot{thread, std::make_unique<RetiredBars>()});
  return *lots.back().bars;
}

}  // namespace quillan
