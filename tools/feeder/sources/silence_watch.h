// When a source last heard from its peer, against its silence limit.
#pragma once
#include <windows.h>

class SilenceWatch {
public:
    explicit SilenceWatch(DWORD limitMs) : m_limitMs(limitMs) { Heard(); }
    void Heard() { m_lastHeard = GetTickCount64(); }
    bool Expired() const { return GetTickCount64() - m_lastHeard >= m_limitMs; }
    DWORD LimitMs() const { return m_limitMs; }

private:
    DWORD       m_limitMs;
    ULONGLONG   m_lastHeard = 0;
};
