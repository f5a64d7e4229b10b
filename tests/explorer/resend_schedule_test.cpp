// The bar record's resend schedule as a function of the ticks it is given.
#include "explorer/resend_schedule.h"

#include <gtest/gtest.h>

namespace quillan {
namespace {

TEST(ResendSchedule, StepsOf300And1000And3000ThenEvery60000MsFromTheEndOfEachSend) {
  ResendSchedule schedule;
  schedule.Restart(0xFFFFFF00u);  // across the tick counter's wrap
  DWORD last = 0xFFFFFF00u;
  const DWORD steps[] = {300, 1000, 3000, 60000, 60000};
  for (DWORD step : steps) {
    EXPECT_FALSE(schedule.Due(last + step - 1)) << step;
    EXPECT_TRUE(schedule.Due(last + step)) << step;
    // A send that took 700 ms: the next step counts from its end.
    last += step + 700;
    schedule.Sent(last);
  }
  schedule.Restart(last);
  EXPECT_FALSE(schedule.Due(last + 299));
  EXPECT_TRUE(schedule.Due(last + 300));
}

}  // namespace
}  // namespace quillan
