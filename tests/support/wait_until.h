// Waits for a state with a deadline instead of guessing with Sleep.
#pragma once
#include <windows.h>
#include <functional>

constexpr DWORD POLL_MS = 2;
constexpr DWORD STATE_TIMEOUT_MS = 5000;

inline bool WaitUntil(const std::function<bool()>& ready, DWORD timeoutMs = STATE_TIMEOUT_MS)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (!ready()) {
        if (GetTickCount64() >= deadline)
            return ready();
        Sleep(POLL_MS);
    }
    return true;
}
