// A WaitStream made on a thread of its own, so that a wait that never returns
// fails the test instead of hanging it.
#pragma once
#include <windows.h>
#include "IBonDriver.h"

class WatchedWait {
public:
    WatchedWait(IBonDriver2* tuner, DWORD timeoutMs);
    // Ends a wait that is still blocked: it holds no lock, only its wait.
    ~WatchedWait();
    WatchedWait(const WatchedWait&) = delete;
    WatchedWait& operator=(const WatchedWait&) = delete;

    // True once the wait has returned, waiting up to `withinMs` for it.
    bool Returned(DWORD withinMs);
    DWORD Result() const { return m_result; }
    ULONGLONG TookMs() const { return m_end - m_start; }

private:
    static DWORD WINAPI Run(LPVOID self);
    IBonDriver2* m_tuner;
    DWORD m_timeoutMs;
    DWORD m_result = WAIT_FAILED;
    ULONGLONG m_start = 0;
    ULONGLONG m_end = 0;
    HANDLE m_thread = NULL;
};
