#include "clock_math.h"

namespace {
const int DWORD_BITS = 32;
}

LONGLONG CounterElapsed(LONGLONG llNow, LONGLONG llStart, LONGLONG llFrequency)
{
    // Unsigned subtraction: a counter that moved backwards must not be undefined behaviour.
    const LONGLONG llCounts = static_cast<LONGLONG>(
        static_cast<ULONGLONG>(llNow) - static_cast<ULONGLONG>(llStart));
    // Both parts truncate toward zero with the same sign, so their sum equals the
    // plain (counts * 10^7 / frequency) wherever that product does not overflow.
    const LONGLONG llSeconds   = llCounts / llFrequency;
    const LONGLONG llRemainder = llCounts % llFrequency;
    return llSeconds * UNITS_PER_SECOND + llRemainder * UNITS_PER_SECOND / llFrequency;
}

ULONGLONG MillisElapsed(DWORD dwNow, DWORD dwStart)
{
    // Subtract in 32 bits first: that is what makes a wrap of the source harmless.
    const DWORD dwElapsed = dwNow - dwStart;
    return static_cast<ULONGLONG>(dwElapsed) * UNITS_PER_MILLISECOND;
}

int DriftMilliseconds(ULONGLONG ullSource, LONGLONG llCounter)
{
    const LONGLONG llDifference = static_cast<LONGLONG>(ullSource) - llCounter;
    return static_cast<int>(llDifference / UNITS_PER_MILLISECOND);
}

ULONGLONG AddOffset(ULONGLONG ullBase, LONGLONG llOffset)
{
    return ullBase + static_cast<ULONGLONG>(llOffset);
}

ULONGLONG FileTimeToCount(const FILETIME& ftTime)
{
    return (static_cast<ULONGLONG>(ftTime.dwHighDateTime) << DWORD_BITS) | ftTime.dwLowDateTime;
}

FILETIME CountToFileTime(ULONGLONG ullCount)
{
    FILETIME ftTime;
    ftTime.dwLowDateTime  = static_cast<DWORD>(ullCount);
    ftTime.dwHighDateTime = static_cast<DWORD>(ullCount >> DWORD_BITS);
    return ftTime;
}
