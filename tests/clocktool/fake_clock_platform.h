// A scripted platform: the tests decide every reading and see every call.
#pragma once

#include "clock_platform.h"

#include <deque>
#include <string>
#include <vector>

class CFakeClockPlatform : public IClockPlatform {
public:
    struct CounterRead {
        BOOL     bOk;
        LONGLONG llValue;
    };

    SYSTEMTIME               m_stLocal;                   // what LocalTime answers
    BOOL                     m_bFrequencyOk = TRUE;
    LONGLONG                 m_llFrequency  = 10000000;
    std::deque<CounterRead>  m_counterReads;              // once empty, every read fails
    std::deque<DWORD>        m_tickReads;                 // once down to one, it repeats
    std::deque<DWORD>        m_timerReads;                // once down to one, it repeats
    BOOL                     m_bPinOk = TRUE;

    std::string              m_output;                    // everything written
    std::vector<std::string> m_calls;                     // every call, in order

    CFakeClockPlatform();

    // Counter readings that succeed, as seconds of the scripted frequency after zero.
    void AddCounterSeconds(LONGLONG llSeconds);

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

private:
    static DWORD Next(std::deque<DWORD>& reads);
};

SYSTEMTIME MakeLocalTime(WORD wYear, WORD wMonth, WORD wDay,
                         WORD wHour, WORD wMinute, WORD wSecond, WORD wMilliseconds);
