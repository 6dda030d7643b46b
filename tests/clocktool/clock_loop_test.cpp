#include "clock_loop.h"
#include "clock_texts.h"
#include "fake_clock_platform.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const char PROGRAM[] = "Ostrel.exe";

int RunTool(CFakeClockPlatform& platform, const char* szFirst = nullptr)
{
    const char* argv[] = {PROGRAM, szFirst, nullptr};
    return RunClockTool(platform, szFirst ? 2 : 1, argv);
}

std::string Pass(const char* szLine)
{
    return std::string(szLine) + PASS_END_TEXT;
}

} // namespace

TEST(ClockLoopStart, CounterThatCannotBeInitialisedPrintsTheErrorAndExitsWith1)
{
    struct Scenario {
        const char* szName;
        BOOL        bFrequencyOk;
        LONGLONG    llFrequency;
        bool        bFirstCounterOk;
    };
    const Scenario scenarios[] = {
        {"frequency unreadable",     FALSE, 10000000, true},
        {"frequency zero",           TRUE,  0,        true},
        {"first counter unreadable", TRUE,  10000000, false},
    };
    for (const Scenario& scenario : scenarios) {
        SCOPED_TRACE(scenario.szName);
        CFakeClockPlatform platform;
        platform.m_bFrequencyOk = scenario.bFrequencyOk;
        platform.m_llFrequency  = scenario.llFrequency;
        platform.m_counterReads.push_back({scenario.bFirstCounterOk ? TRUE : FALSE, 0});
        platform.AddCounterSeconds(1);

        EXPECT_EQ(EXIT_NO_COUNTER, RunTool(platform));
        EXPECT_EQ(NO_COUNTER_TEXT, platform.m_output);
    }
}

TEST(ClockLoopStart, CounterFailingRightAfterTheHeaderExitsWith2AndNoText)
{
    CFakeClockPlatform platform;
    platform.AddCounterSeconds(0);

    EXPECT_EQ(EXIT_COUNTER_FAILED, RunTool(platform));
    EXPECT_EQ(HEADER_TEXT, platform.m_output);
}

TEST(ClockLoopPasses, HeaderThenOneLinePerPassUntilTheCounterFailsWith2)
{
    CFakeClockPlatform platform;   // starts at 09:15:01.114
    platform.AddCounterSeconds(0);
    platform.AddCounterSeconds(1);
    platform.AddCounterSeconds(2);
    platform.m_counterReads.push_back({FALSE, 0});
    platform.AddCounterSeconds(3);   // never reached: the failed read ends the tool
    platform.m_tickReads  = {1000, 1991, 3012};
    platform.m_timerReads = {500, 1500, 2500};

    EXPECT_EQ(EXIT_COUNTER_FAILED, RunTool(platform));
    EXPECT_EQ(std::string(HEADER_TEXT)
              + Pass("09:15:02.114, 09:15:02.105(   -9msec), 09:15:02.114(    0msec)")
              + Pass("09:15:03.114, 09:15:03.126(   12msec), 09:15:03.114(    0msec)"),
              platform.m_output);
}

TEST(ClockLoopPasses, ReadsCounterTickAndTimerInOrderAndShowsEachLineBeforeSleeping)
{
    CFakeClockPlatform platform;
    platform.AddCounterSeconds(0);
    platform.AddCounterSeconds(1);

    RunTool(platform, "-a");

    const std::vector<std::string> expected = {
        "LocalTime", "Pin", "Write", "Frequency", "Counter", "Tick", "Timer", "Write", "Flush",
        "Counter", "Tick", "Timer", "Write", "Flush", "Sleep 1000", "Write",
        "Counter"};
    EXPECT_EQ(expected, platform.m_calls);
}

TEST(ClockLoopPasses, TickCountAndTimerWrappingPast2To32StayInStepWithTheCounter)
{
    CFakeClockPlatform platform;
    platform.AddCounterSeconds(0);
    platform.AddCounterSeconds(2);
    platform.m_tickReads  = {0xFFFFFFFFu - 499, 1500};   // wraps half a second in
    platform.m_timerReads = {0xFFFFFFFFu, 1999};         // wraps one millisecond in

    RunTool(platform);

    EXPECT_EQ(std::string(HEADER_TEXT)
              + Pass("09:15:03.114, 09:15:03.114(    0msec), 09:15:03.114(    0msec)"),
              platform.m_output);
}

TEST(ClockLoopPasses, StartTimeJustBeforeMidnightWrapsToHourZero)
{
    CFakeClockPlatform platform;
    platform.m_stLocal = MakeLocalTime(2023, 12, 31, 23, 59, 59, 500);
    platform.AddCounterSeconds(0);
    platform.AddCounterSeconds(1);
    platform.m_tickReads  = {0, 990};
    platform.m_timerReads = {0, 1000};

    RunTool(platform);

    EXPECT_EQ(std::string(HEADER_TEXT)
              + Pass("00:00:00.500, 00:00:00.490(  -10msec), 00:00:00.500(    0msec)"),
              platform.m_output);
}

TEST(ClockLoopPinning, DashAPinsAndSaysSoBeforeTheHeader)
{
    CFakeClockPlatform platform;
    platform.AddCounterSeconds(0);

    EXPECT_EQ(EXIT_COUNTER_FAILED, RunTool(platform, "-abc"));
    EXPECT_EQ(std::string(PIN_DONE_TEXT) + HEADER_TEXT, platform.m_output);
}

TEST(ClockLoopPinning, FailedPinningIsSilentAndTheToolRunsOn)
{
    CFakeClockPlatform platform;
    platform.m_bPinOk = FALSE;
    platform.AddCounterSeconds(0);
    platform.AddCounterSeconds(1);

    EXPECT_EQ(EXIT_COUNTER_FAILED, RunTool(platform, "-a"));
    EXPECT_EQ(0u, platform.m_output.find(HEADER_TEXT));
    EXPECT_NE(std::string::npos, platform.m_output.find(PASS_END_TEXT));
}
