#include "fake_clock_platform.h"

namespace {
const DWORD FAKE_DEFAULT_READING = 0;
}

SYSTEMTIME MakeLocalTime(WORD wYear, WORD wMonth, WORD wDay,
                         WORD wHour, WORD wMinute, WORD wSecond, WORD wMilliseconds)
{
    SYSTEMTIME stTime = {};
    stTime.wYear         = wYear;
    stTime.wMonth        = wMonth;
    stTime.wDay          = wDay;
    stTime.wHour         = wHour;
    stTime.wMinute       = wMinute;
    stTime.wSecond       = wSecond;
    stTime.wMilliseconds = wMilliseconds;
    return stTime;
}

CFakeClockPlatform::CFakeClockPlatform()
    : m_stLocal(MakeLocalTime(2024, 3, 14, 9, 15, 1, 114))
{
}

void CFakeClockPlatform::AddCounterSeconds(LONGLONG llSeconds)
{
    m_counterReads.push_back({TRUE, llSeconds * m_llFrequency});
}

BOOL CFakeClockPlatform::QueryFrequency(LONGLONG* pllFrequency)
{
    m_calls.push_back("Frequency");
    if (m_bFrequencyOk) {
        *pllFrequency = m_llFrequency;
    }
    return m_bFrequencyOk;
}

BOOL CFakeClockPlatform::QueryCounter(LONGLONG* pllCount)
{
    m_calls.push_back("Counter");
    if (m_counterReads.empty()) {
        return FALSE;
    }
    const CounterRead read = m_counterReads.front();
    m_counterReads.pop_front();
    if (read.bOk) {
        *pllCount = read.llValue;
    }
    return read.bOk;
}

DWORD CFakeClockPlatform::Next(std::deque<DWORD>& reads)
{
    if (reads.empty()) {
        return FAKE_DEFAULT_READING;
    }
    const DWORD dwValue = reads.front();
    if (reads.size() > 1) {
        reads.pop_front();
    }
    return dwValue;
}

DWORD CFakeClockPlatform::TickCount()
{
    m_calls.push_back("Tick");
    return Next(m_tickReads);
}

DWORD CFakeClockPlatform::TimerTime()
{
    m_calls.push_back("Timer");
    return Next(m_timerReads);
}

void CFakeClockPlatform::LocalTime(SYSTEMTIME* pstTime)
{
    m_calls.push_back("LocalTime");
    *pstTime = m_stLocal;
}

// The conversions are pure arithmetic: the real ones serve the fake as well.
BOOL CFakeClockPlatform::SystemTimeToFileTime(const SYSTEMTIME* pstTime, FILETIME* pftTime)
{
    return ::SystemTimeToFileTime(pstTime, pftTime);
}

BOOL CFakeClockPlatform::FileTimeToSystemTime(const FILETIME* pftTime, SYSTEMTIME* pstTime)
{
    return ::FileTimeToSystemTime(pftTime, pstTime);
}

void CFakeClockPlatform::Sleep(DWORD dwMilliseconds)
{
    m_calls.push_back("Sleep " + std::to_string(dwMilliseconds));
}

BOOL CFakeClockPlatform::PinToFirstProcessor()
{
    m_calls.push_back("Pin");
    return m_bPinOk;
}

void CFakeClockPlatform::Write(const char* szText)
{
    m_calls.push_back("Write");
    m_output += szText;
}

void CFakeClockPlatform::Flush()
{
    m_calls.push_back("Flush");
}
