#include "watched_wait.h"

namespace {
constexpr DWORD FORCED_END_MS = 5000;   // a forced end is not synchronous
}

WatchedWait::WatchedWait(IBonDriver2* tuner, DWORD timeoutMs) : m_tuner(tuner), m_timeoutMs(timeoutMs)
{
    m_start = GetTickCount64();
    m_thread = CreateThread(NULL, 0, Run, this, 0, NULL);
}

WatchedWait::~WatchedWait()
{
    if (m_thread == NULL)
        return;
    if (WaitForSingleObject(m_thread, 0) != WAIT_OBJECT_0) {
        TerminateThread(m_thread, 0);
        WaitForSingleObject(m_thread, FORCED_END_MS);
    }
    CloseHandle(m_thread);
}

DWORD WINAPI WatchedWait::Run(LPVOID param)
{
    WatchedWait* self = static_cast<WatchedWait*>(param);
    self->m_result = self->m_tuner->WaitStream(self->m_timeoutMs);
    self->m_end = GetTickCount64();
    return 0;
}

bool WatchedWait::Returned(DWORD withinMs)
{
    // The thread's end orders its writes before our reads of them.
    return m_thread != NULL && WaitForSingleObject(m_thread, withinMs) == WAIT_OBJECT_0;
}
