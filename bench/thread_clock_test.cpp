// The process CPU clock the bench reads: its step must be found in either bitness
// (on i686, doubles in x87 registers compared unequal to their stored copies).
#include <gtest/gtest.h>
#include "thread_clock.h"

namespace {

constexpr double LONGEST_PLAUSIBLE_STEP_SECONDS = 0.1;

TEST(CpuClock, StepIsFoundAndPlausible)
{
    const double step = CpuClockStepSeconds();
    EXPECT_GT(step, 0.0) << "the process CPU clock never seemed to move";
    EXPECT_LT(step, LONGEST_PLAUSIBLE_STEP_SECONDS);
}

}  // namespace
