#include "clock_time.h"

#include "clock_math.h"

ULONGLONG ReadStartTime(IClockPlatform& platform)
{
    SYSTEMTIME stNow = {};
    platform.LocalTime(&stNow);
    // Local time goes into the count unchanged, so every printed time stays local.
    FILETIME ftNow = {};
    platform.SystemTimeToFileTime(&stNow, &ftNow);
    return FileTimeToCount(ftNow);
}

TimeText FormatClockTime(IClockPlatform& platform, ULONGLONG ullBase, LONGLONG llOffset)
{
    const FILETIME ftTime = CountToFileTime(AddOffset(ullBase, llOffset));
    // A count the conversion refuses prints as midnight rather than as stack garbage.
    SYSTEMTIME stTime = {};
    platform.FileTimeToSystemTime(&ftTime, &stTime);
    return FormatTimeOfDay(stTime);
}
