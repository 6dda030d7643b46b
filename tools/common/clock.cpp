#include "clock.h"

#include <windows.h>

Stopwatch::Stopwatch()
{
    LARGE_INTEGER value;
    QueryPerformanceFrequency(&value);
    m_frequency = value.QuadPart;
    QueryPerformanceCounter(&value);
    m_start = value.QuadPart;
}

double Stopwatch::Seconds() const
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart - m_start) / static_cast<double>(m_frequency);
}
