#include "clock_format.h"

#include <cstdio>

namespace {
const char TIME_OF_DAY_FORMAT[] = "%02d:%02d:%02d.%03d";
// Counter time, tick-count time and drift, timer time and drift.
const char PASS_FORMAT[] = "%s, %s(%5dmsec), %s(%5dmsec)";
}

TimeText FormatTimeOfDay(const SYSTEMTIME& stTime)
{
    TimeText text;
    std::snprintf(text.sz, sizeof text.sz, TIME_OF_DAY_FORMAT,
                  stTime.wHour, stTime.wMinute, stTime.wSecond, stTime.wMilliseconds);
    return text;
}

PassText FormatPass(const PassReading& reading)
{
    PassText text;
    std::snprintf(text.sz, sizeof text.sz, PASS_FORMAT,
                  reading.counterTime.sz,
                  reading.tickTime.sz, reading.nTickDrift,
                  reading.timerTime.sz, reading.nTimerDrift);
    return text;
}
