// A time of day from the start time and an elapsed time.
#pragma once

#include "clock_format.h"
#include "clock_platform.h"

// Start time at full 64-bit width, 100-ns units, local time.
ULONGLONG ReadStartTime(IClockPlatform& platform);

TimeText FormatClockTime(IClockPlatform& platform, ULONGLONG ullBase, LONGLONG llOffset);
