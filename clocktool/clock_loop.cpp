#include "clock_loop.h"

#include "clock_format.h"
#include "clock_math.h"
#include "clock_texts.h"
#include "clock_time.h"
#include "pin_argument.h"

namespace {

struct StartValues {
    ULONGLONG ullBase;
    LONGLONG  llFrequency;
    LONGLONG  llCounterStart;
    DWORD     dwTickStart;
    DWORD     dwTimerStart;
};

bool StartCounter(IClockPlatform& platform, StartValues& start)
{
    // A zero frequency would divide by zero on every pass: no usable counter either.
    return platform.QueryFrequency(&start.llFrequency) && start.llFrequency > 0
        && platform.QueryCounter(&start.llCounterStart);
}

PassReading ReadPass(IClockPlatform& platform, const StartValues& start, LONGLONG llNow)
{
    const LONGLONG  llCounter = CounterElapsed(llNow, start.llCounterStart, start.llFrequency);
    const ULONGLONG ullTick   = MillisElapsed(platform.TickCount(), start.dwTickStart);
    const ULONGLONG ullTimer  = MillisElapsed(platform.TimerTime(), start.dwTimerStart);

    PassReading reading;
    reading.counterTime = FormatClockTime(platform, start.ullBase, llCounter);
    reading.tickTime    = FormatClockTime(platform, start.ullBase, static_cast<LONGLONG>(ullTick));
    reading.nTickDrift  = DriftMilliseconds(ullTick, llCounter);
    reading.timerTime   = FormatClockTime(platform, start.ullBase, static_cast<LONGLONG>(ullTimer));
    reading.nTimerDrift = DriftMilliseconds(ullTimer, llCounter);
    return reading;
}

void RunPass(IClockPlatform& platform, const StartValues& start, LONGLONG llNow)
{
    platform.Write(FormatPass(ReadPass(platform, start, llNow)).sz);
    // The line has no line feed: a pipe or a log would otherwise see nothing for a long time.
    platform.Flush();
    platform.Sleep(PASS_INTERVAL_MS);
    platform.Write(PASS_END_TEXT);
}

} // namespace

int RunClockTool(IClockPlatform& platform, int argc, const char* const* argv)
{
    StartValues start = {};
    start.ullBase = ReadStartTime(platform);

    if (WantsPinning(argc, argv) && platform.PinToFirstProcessor()) {
        platform.Write(PIN_DONE_TEXT);
    }
    if (!StartCounter(platform, start)) {
        platform.Write(NO_COUNTER_TEXT);
        return EXIT_NO_COUNTER;
    }
    start.dwTickStart  = platform.TickCount();
    start.dwTimerStart = platform.TimerTime();

    platform.Write(HEADER_TEXT);
    platform.Flush();

    LONGLONG llNow = 0;
    while (platform.QueryCounter(&llNow)) {
        RunPass(platform, start, llNow);
    }
    return EXIT_COUNTER_FAILED;
}
