// Cross-thread reads and writes made without m_csLock. No <atomic> without a
// standard library, and `volatile` orders nothing, so the builtins it is.
#pragma once
#include <windows.h>

template <typename T> inline T LoadAcquire(const T& field)
{
    return __atomic_load_n(&field, __ATOMIC_ACQUIRE);
}

template <typename T> inline void StoreRelease(T& field, T value)
{
    __atomic_store_n(&field, value, __ATOMIC_RELEASE);
}

// Holds a critical section for one scope.
class CLockScope {
public:
    explicit CLockScope(CRITICAL_SECTION& cs) : m_cs(cs) { EnterCriticalSection(&m_cs); }
    ~CLockScope() { LeaveCriticalSection(&m_cs); }
    CLockScope(const CLockScope&) = delete;
    CLockScope& operator=(const CLockScope&) = delete;

private:
    CRITICAL_SECTION& m_cs;
};

// The one place a handle is released; safe to run twice. The field is cleared
// before the close, so a thread ended in between cannot leave a closed value behind.
inline void CloseAndClear(HANDLE& handle, HANDLE emptyValue = NULL)
{
    const HANDLE closing = handle;
    if (closing == emptyValue)
        return;
    handle = emptyValue;
    CloseHandle(closing);
}
