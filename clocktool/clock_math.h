// Clock arithmetic on plain values, in 100-ns units (the FILETIME count).
#pragma once

#include <windows.h>

const LONGLONG UNITS_PER_SECOND      = 10000000;
const LONGLONG UNITS_PER_MILLISECOND = 10000;

// Elapsed time by the performance counter; exact wherever (now - start) * 10^7
// fits in 64 bits, and still right far beyond that point.
LONGLONG CounterElapsed(LONGLONG llNow, LONGLONG llStart, LONGLONG llFrequency);

// Elapsed time by a 32-bit millisecond source; one wrap past 2^32 is harmless.
ULONGLONG MillisElapsed(DWORD dwNow, DWORD dwStart);

// How many whole milliseconds a source has run ahead of the counter.
int DriftMilliseconds(ULONGLONG ullSource, LONGLONG llCounter);

// Start time plus an elapsed time, as a full 64-bit sum.
ULONGLONG AddOffset(ULONGLONG ullBase, LONGLONG llOffset);

ULONGLONG FileTimeToCount(const FILETIME& ftTime);
FILETIME  CountToFileTime(ULONGLONG ullCount);
