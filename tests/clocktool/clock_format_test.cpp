#include "clock_format.h"
#include "clock_math.h"
#include "clock_time.h"
#include "fake_clock_platform.h"
#include "win32_clock_platform.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TimeText Text(const char* szTime)
{
    TimeText text = {};
    lstrcpynA(text.sz, szTime, sizeof text.sz);
    return text;
}

PassReading Reading(int nTickDrift, int nTimerDrift)
{
    PassReading reading;
    reading.counterTime = Text("09:15:02.114");
    reading.tickTime    = Text("09:15:02.105");
    reading.timerTime   = Text("09:15:02.114");
    reading.nTickDrift  = nTickDrift;
    reading.nTimerDrift = nTimerDrift;
    return reading;
}

ULONGLONG CountOf(const SYSTEMTIME& stTime)
{
    FILETIME ftTime = {};
    EXPECT_TRUE(SystemTimeToFileTime(&stTime, &ftTime));
    return FileTimeToCount(ftTime);
}

} // namespace

TEST(FormatTimeOfDay, PadsEveryFieldAndLeavesOutTheDate)
{
    EXPECT_STREQ("01:02:03.004", FormatTimeOfDay(MakeLocalTime(2024, 3, 14, 1, 2, 3, 4)).sz);
}

TEST(FormatPass, SeparatesTheTimesAndRightAlignsEachDriftInAFieldOfFive)
{
    EXPECT_STREQ("09:15:02.114, 09:15:02.105(   -9msec), 09:15:02.114(    0msec)",
                 FormatPass(Reading(-9, 0)).sz);
    EXPECT_STREQ("09:15:02.114, 09:15:02.105(12345msec), 09:15:02.114(-1234msec)",
                 FormatPass(Reading(12345, -1234)).sz);
    // A drift wider than the field widens it rather than losing digits.
    EXPECT_STREQ("09:15:02.114, 09:15:02.105(-123456msec), 09:15:02.114(    7msec)",
                 FormatPass(Reading(-123456, 7)).sz);
}

TEST(FormatClockTime, WrapsPastMidnightToHourZeroWithoutADate)
{
    CWin32ClockPlatform platform;
    const ULONGLONG ullBeforeMidnight = CountOf(MakeLocalTime(2023, 12, 31, 23, 59, 59, 900));
    EXPECT_STREQ("23:59:59.900", FormatClockTime(platform, ullBeforeMidnight, 0).sz);
    EXPECT_STREQ("00:00:00.100",
                 FormatClockTime(platform, ullBeforeMidnight, 200 * UNITS_PER_MILLISECOND).sz);
    const LONGLONG llOneDay = 24LL * 3600 * UNITS_PER_SECOND;
    EXPECT_STREQ("23:59:59.901",
                 FormatClockTime(platform, ullBeforeMidnight, llOneDay + UNITS_PER_MILLISECOND).sz);
}
