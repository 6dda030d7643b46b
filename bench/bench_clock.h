// One monotonic clock for every thread of the run: seconds from the performance counter.
#pragma once
#include <windows.h>

inline double NowSeconds()
{
    static const double secondsPerCount = [] {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        return 1.0 / static_cast<double>(frequency.QuadPart);
    }();
    LARGE_INTEGER count;
    QueryPerformanceCounter(&count);
    return static_cast<double>(count.QuadPart) * secondsPerCount;
}
