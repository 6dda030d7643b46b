// How long a network or program source may stay silent before that counts as
// trouble, and the ?timeout=S option that changes it.
#pragma once
#include <windows.h>

#include <string>

const DWORD  SILENCE_LIMIT_DEFAULT_MS = 10 * 1000;
const double SILENCE_LIMIT_MIN_SECONDS = 0.1;
const double SILENCE_LIMIT_MAX_SECONDS = 3600.0;
extern const char SILENCE_OPTION[];     // "timeout"

// The value of timeout=S; false with *why naming the allowed range.
bool ParseSilenceLimit(const std::string& value, DWORD* ms, std::string* why);

// "10", "0.3": a limit in seconds, for messages.
std::string SilenceLimitText(DWORD ms);

// When the source last heard from its peer, against its limit.
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
