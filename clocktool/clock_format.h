// The text of one pass, built from plain values.
#pragma once

#include <windows.h>
#include <cstddef>

// "HH:MM:SS.mmm" and its terminating NUL.
const std::size_t TIME_TEXT_CAPACITY = 16;
// A whole pass line with room to spare for a drift that outgrows its field.
const std::size_t PASS_TEXT_CAPACITY = 96;

struct TimeText { char sz[TIME_TEXT_CAPACITY]; };
struct PassText { char sz[PASS_TEXT_CAPACITY]; };

// The three times of a pass and the two drifts against the counter.
struct PassReading {
    TimeText counterTime;
    TimeText tickTime;
    TimeText timerTime;
    int      nTickDrift;
    int      nTimerDrift;
};

// Hour, minute, second and millisecond only: the date never shows.
TimeText FormatTimeOfDay(const SYSTEMTIME& stTime);

PassText FormatPass(const PassReading& reading);
