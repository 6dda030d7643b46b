#include "clock_math.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {

const LONGLONG  COUNTER_START       = 123456789;     // not zero, so the subtraction counts
const LONGLONG  LARGEST_PLAIN_COUNT = LLONG_MAX / UNITS_PER_SECOND;
const LONGLONG  SAMPLE_FREQUENCIES[] = {1, 3, 1000, 1193182, 3579545, 10000000,
                                        2400000000LL, 3000000007LL};
const int       SPREAD_SAMPLES      = 200;
const ULONGLONG LCG_MULTIPLIER      = 6364136223846793005ULL;
const ULONGLONG LCG_INCREMENT       = 1442695040888963407ULL;
const LONGLONG  SECONDS_PER_HOUR    = 3600;

LONGLONG PlainElapsed(LONGLONG llCounts, LONGLONG llFrequency)
{
    return llCounts * UNITS_PER_SECOND / llFrequency;
}

::testing::AssertionResult MatchesPlain(LONGLONG llCounts, LONGLONG llFrequency)
{
    const LONGLONG llGot  = CounterElapsed(COUNTER_START + llCounts, COUNTER_START, llFrequency);
    const LONGLONG llWant = PlainElapsed(llCounts, llFrequency);
    if (llGot == llWant) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "counts " << llCounts << " at " << llFrequency
                                         << " Hz gave " << llGot << ", plain " << llWant;
}

} // namespace

TEST(CounterElapsed, EqualsThePlainFormulaWhereverThatDoesNotOverflow)
{
    ULONGLONG ullSeed = 1;
    for (LONGLONG llFrequency : SAMPLE_FREQUENCIES) {
        const LONGLONG edges[] = {0, 1, -1, llFrequency - 1, llFrequency, llFrequency + 1,
                                  -(llFrequency + 1), llFrequency * 7 / 3, -(llFrequency * 7 / 3),
                                  LARGEST_PLAIN_COUNT, -LARGEST_PLAIN_COUNT};
        for (LONGLONG llCounts : edges) {
            EXPECT_TRUE(MatchesPlain(llCounts, llFrequency));
        }
        for (int i = 0; i < SPREAD_SAMPLES; ++i) {
            ullSeed = ullSeed * LCG_MULTIPLIER + LCG_INCREMENT;
            const LONGLONG llCounts = static_cast<LONGLONG>(ullSeed % (2 * LARGEST_PLAIN_COUNT + 1))
                                    - LARGEST_PLAIN_COUNT;
            EXPECT_TRUE(MatchesPlain(llCounts, llFrequency));
        }
    }
}

TEST(CounterElapsed, StaysRightWhereThePlainProductWouldOverflow)
{
    const LONGLONG llTenMegahertz = 10000000;
    const LONGLONG llDayAndTwoHours = 26 * SECONDS_PER_HOUR;
    // A quarter second more, to see that the remainder is scaled too.
    EXPECT_EQ(llDayAndTwoHours * UNITS_PER_SECOND + UNITS_PER_SECOND / 4,
              CounterElapsed(llDayAndTwoHours * llTenMegahertz + llTenMegahertz / 4, 0, llTenMegahertz));

    const LONGLONG llThreeGigahertz = 3000000000LL;
    // 999,999,999 counts are 3,333,333.33 units: truncated, not rounded.
    EXPECT_EQ(SECONDS_PER_HOUR * UNITS_PER_SECOND + 3333333,
              CounterElapsed(SECONDS_PER_HOUR * llThreeGigahertz + 999999999, 0, llThreeGigahertz));
}

TEST(MillisElapsed, SurvivesOneWrapPast2To32AndWidensBeforeScaling)
{
    const DWORD dwJustBeforeWrap = 0xFFFFFFFFu - 499;   // 500 ms before the count wraps
    EXPECT_EQ(1500ULL * UNITS_PER_MILLISECOND, MillisElapsed(1000, dwJustBeforeWrap));
    EXPECT_EQ(0ULL, MillisElapsed(dwJustBeforeWrap, dwJustBeforeWrap));
    // 49.7 days: only a 64-bit product holds it.
    EXPECT_EQ(0xFFFFFFFFULL * UNITS_PER_MILLISECOND, MillisElapsed(0xFFFFFFFFu, 0));
}

TEST(DriftMilliseconds, IsSignedAndTruncatesTowardZero)
{
    const LONGLONG llCounter = 50 * UNITS_PER_SECOND;
    const ULONGLONG ullCounter = static_cast<ULONGLONG>(llCounter);
    EXPECT_EQ(-9, DriftMilliseconds(ullCounter - 9 * UNITS_PER_MILLISECOND, llCounter));
    EXPECT_EQ(-9, DriftMilliseconds(ullCounter - 99999, llCounter));   // -9.9999 ms, not -10
    EXPECT_EQ(0, DriftMilliseconds(ullCounter - 5, llCounter));
    EXPECT_EQ(12345, DriftMilliseconds(ullCounter + 12345 * UNITS_PER_MILLISECOND, llCounter));
}
