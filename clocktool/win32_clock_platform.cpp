#include "win32_clock_platform.h"

#include <cstdio>
#include <mmsystem.h>

namespace {
const DWORD_PTR FIRST_PROCESSOR_MASK = 1;
}

BOOL CWin32ClockPlatform::QueryFrequency(LONGLONG* pllFrequency)
{
    LARGE_INTEGER liFrequency;
    if (!::QueryPerformanceFrequency(&liFrequency)) {
        return FALSE;
    }
    *pllFrequency = liFrequency.QuadPart;
    return TRUE;
}

BOOL CWin32ClockPlatform::QueryCounter(LONGLONG* pllCount)
{
    LARGE_INTEGER liCount;
    if (!::QueryPerformanceCounter(&liCount)) {
        return FALSE;
    }
    *pllCount = liCount.QuadPart;
    return TRUE;
}

DWORD CWin32ClockPlatform::TickCount()
{
    return ::GetTickCount();
}

DWORD CWin32ClockPlatform::TimerTime()
{
    return ::timeGetTime();
}

void CWin32ClockPlatform::LocalTime(SYSTEMTIME* pstTime)
{
    ::GetLocalTime(pstTime);
}

BOOL CWin32ClockPlatform::SystemTimeToFileTime(const SYSTEMTIME* pstTime, FILETIME* pftTime)
{
    return ::SystemTimeToFileTime(pstTime, pftTime);
}

BOOL CWin32ClockPlatform::FileTimeToSystemTime(const FILETIME* pftTime, SYSTEMTIME* pstTime)
{
    return ::FileTimeToSystemTime(pftTime, pstTime);
}

void CWin32ClockPlatform::Sleep(DWORD dwMilliseconds)
{
    ::Sleep(dwMilliseconds);
}

BOOL CWin32ClockPlatform::PinToFirstProcessor()
{
    // The call answers the previous mask, zero meaning it failed.
    return ::SetThreadAffinityMask(::GetCurrentThread(), FIRST_PROCESSOR_MASK) != 0;
}

void CWin32ClockPlatform::Write(const char* szText)
{
    std::printf("%s", szText);
}

void CWin32ClockPlatform::Flush()
{
    std::fflush(stdout);
}
