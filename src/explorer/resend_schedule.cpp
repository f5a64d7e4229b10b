#include "explorer/resend_schedule.h"

namespace quillan {

DWORD ResendSchedule::IntervalMs(int32_t index) noexcept {
  constexpr DWORD kIntervalsMs[] = {300, 1000, 3000, 60000};
  if (index < 0) index = 0;
  if (index > kLastIndex) index = kLastIndex;
  return kIntervalsMs[index];
}

}  // namespace quillan
