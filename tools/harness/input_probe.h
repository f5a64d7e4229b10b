// What a user of Explorer's thread feels: a second thread posts a time-stamped message to a window
// of this thread every 20 ms, as the system posts input, and each message's wait before this thread
// handles it is measured. The thread under test must pump its messages (PumpFor, a message loop).
#pragma once

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <vector>

namespace quillan::harness {

class InputProbe {
 public:
  static constexpr DWORD kPeriodMs = 20;
  static constexpr DWORD kBlockedMs = 40;  // a wait longer than this counts as blocked

  struct Figures {
    size_t probes = 0;
    size_t blocked = 0;
    DWORD longestMs = 0;
    double BlockedFraction() const { return probes ? static_cast<double>(blocked) / probes : 1.0; }
  };

  InputProbe() {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = &Proc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"QuillanInputProbe";
    ::RegisterClassW(&wc);  // already registered by an earlier probe: fine
    window_ = ::CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    ::SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    thread_ = ::CreateThread(nullptr, 0, &Post, this, 0, nullptr);
  }
  ~InputProbe() {
    stop_ = true;
    ::WaitForSingleObject(thread_, INFINITE);
    ::CloseHandle(thread_);
    ::DestroyWindow(window_);
  }
  InputProbe(const InputProbe&) = delete;
  InputProbe& operator=(const InputProbe&) = delete;

  // The figures since the last Take (or the start), and a fresh start.
  Figures Take() {
    Figures figures;
    for (DWORD wait : waits_) {
      ++figures.probes;
      if (wait > kBlockedMs) ++figures.blocked;
      figures.longestMs = std::max(figures.longestMs, wait);
    }
    waits_.clear();
    return figures;
  }

 private:
  static constexpr UINT kProbe = WM_APP + 0x51;

  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kProbe) {
      auto* probe = reinterpret_cast<InputProbe*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
      if (probe) probe->waits_.push_back(::GetTickCount() - static_cast<DWORD>(wParam));
      return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
  }
  static DWORD WINAPI Post(void* self) {
    auto* probe = static_cast<InputProbe*>(self);
    while (!probe->stop_) {
      ::PostMessageW(probe->window_, kProbe, ::GetTickCount(), 0);
      ::Sleep(kPeriodMs);
    }
    return 0;
  }

  HWND window_ = nullptr;
  HANDLE thread_ = nullptr;
  std::atomic<bool> stop_{false};
  std::vector<DWORD> waits_;
};

}  // namespace quillan::harness
