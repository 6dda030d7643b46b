// The real platform: kernel32, winmm and the runtime's printf.
#pragma once

#include "clock_platform.h"

class CWin32ClockPlatform : public IClockPlatform {
public:
    BOOL  QueryFrequency(LONGLONG* pllFrequency) override;
    BOOL  QueryCounter(LONGLONG* pllCount) override;
    DWORD TickCount() override;
    DWORD TimerTime() override;
    void  LocalTime(SYSTEMTIME* pstTime) override;
    BOOL  SystemTimeToFileTime(const SYSTEMTIME* pstTime, FILETIME* pftTime) override;
    BOOL  FileTimeToSystemTime(const FILETIME* pftTime, SYSTEMTIME* pstTime) override;
    void  Sleep(DWORD dwMilliseconds) override;
    BOOL  PinToFirstProcessor() override;
    void  Write(const char* szText) override;
    void  Flush() override;
};
