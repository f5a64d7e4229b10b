// When the bar record goes out again while the application's window is not in the bar: 300, 1000 and
// 3000 ms after the previous send, then every 60000 ms. Each interval counts from the end of the
// previous send, so a send that waited its time-out never makes the next one due at once. A pure
// function of the ticks it is given.
#pragma once

#include <windows.h>

#include <cstdint>

namespace quillan {

class ResendSchedule {
 public:
  static constexpr int32_t kLastIndex = 3;

  // The wait before the next send at a step (steps past the last wait as long as the last).
  static DWORD IntervalMs(int32_t index) noexcept;

  // A new start (a bar put up, a record settled): the first step, counted from endTick.
  void Restart(DWORD endTick) noexcept {
    index_ = 0;
    last_ = endTick;
  }
  // Whether the wait of the current step has passed by now (unsigned tick differences).
  bool Due(DWORD now) const noexcept { return now - last_ >= IntervalMs(index_); }
  // A resend went out, whatever came of it, and ended at endTick: on to the next step.
  void Sent(DWORD endTick) noexcept {
    if (index_ < kLastIndex) ++index_;
    last_ = endTick;
  }

  int32_t index() const noexcept { return index_; }
  DWORD last() const noexcept { return last_; }

 private:
  int32_t index_ = 0;
  DWORD last_ = 0;
};

}  // namespace quillan
