// The platform services the clock tool uses, behind one interface, so that tests
// can hand the tool readings that no real clock gives on demand.
#pragma once

#include <windows.h>

class IClockPlatform {
public:
    virtual ~IClockPlatform() = default;

    virtual BOOL  QueryFrequency(LONGLONG* pllFrequency) = 0;
    virtual BOOL  QueryCounter(LONGLONG* pllCount) = 0;
    virtual DWORD TickCount() = 0;
    virtual DWORD TimerTime() = 0;
    virtual void  LocalTime(SYSTEMTIME* pstTime) = 0;
    virtual BOOL  SystemTimeToFileTime(const SYSTEMTIME* pstTime, FILETIME* pftTime) = 0;
    virtual BOOL  FileTimeToSystemTime(const FILETIME* pftTime, SYSTEMTIME* pstTime) = 0;
    virtual void  Sleep(DWORD dwMilliseconds) = 0;
    // TRUE when the current thread now runs on the first processor only.
    virtual BOOL  PinToFirstProcessor() = 0;
    virtual void  Write(const char* szText) = 0;
    virtual void  Flush() = 0;
};
