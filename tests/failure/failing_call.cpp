#include "failing_call.h"
#include "census.h"

namespace {

LONG g_failOn = 0;
LONG g_calls = 0;
LONG g_failures = 0;
long g_threadsAtFailure = -1;
void* g_original = nullptr;

// True for the call that is to fail; counts every call.
bool ThisCallFails()
{
    if (InterlockedIncrement(&g_calls) != g_failOn)
        return false;
    g_threadsAtFailure = CountOwnThreads();
    InterlockedIncrement(&g_failures);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return true;
}

template <typename F> F Original()
{
    return reinterpret_cast<F>(g_original);
}

HANDLE WINAPI FailCreateEvent(LPSECURITY_ATTRIBUTES sa, BOOL manual, BOOL initial, LPCWSTR name)
{
    return ThisCallFails() ? NULL : Original<decltype(&CreateEventW)>()(sa, manual, initial, name);
}

HANDLE WINAPI FailCreateThread(LPSECURITY_ATTRIBUTES sa, SIZE_T stack, LPTHREAD_START_ROUTINE start,
                               LPVOID param, DWORD flags, LPDWORD id)
{
    return ThisCallFails() ? NULL : Original<decltype(&CreateThread)>()(sa, stack, start, param, flags, id);
}

// A failed resume leaves the thread suspended, as the platform would.
DWORD WINAPI FailResumeThread(HANDLE thread)
{
    return ThisCallFails() ? static_cast<DWORD>(-1) : Original<decltype(&ResumeThread)>()(thread);
}

HANDLE WINAPI FailCreateMutex(LPSECURITY_ATTRIBUTES sa, BOOL owned, LPCWSTR name)
{
    return ThisCallFails() ? NULL : Original<decltype(&CreateMutexW)>()(sa, owned, name);
}

void* Replacement(Import which)
{
    switch (which) {
    case Import::CreateEventW: return reinterpret_cast<void*>(&FailCreateEvent);
    case Import::CreateThread: return reinterpret_cast<void*>(&FailCreateThread);
    case Import::ResumeThread: return reinterpret_cast<void*>(&FailResumeThread);
    case Import::CreateMutexW: return reinterpret_cast<void*>(&FailCreateMutex);
    }
    return nullptr;
}

// Armed before the patch goes in, since the driver's workers may call at once.
HMODULE Arm(HMODULE driver, LONG failOn)
{
    g_failOn = failOn;
    g_calls = 0;
    g_failures = 0;
    g_threadsAtFailure = -1;
    return driver;
}

}  // namespace

const char* ImportName(Import which)
{
    switch (which) {
    case Import::CreateEventW: return "CreateEventW";
    case Import::CreateThread: return "CreateThread";
    case Import::ResumeThread: return "ResumeThread";
    case Import::CreateMutexW: return "CreateMutexW";
    }
    return "";
}

FailingCall::FailingCall(HMODULE driver, Import which, LONG failOn)
    : m_patch(Arm(driver, failOn), "kernel32.dll", ImportName(which), Replacement(which))
{
    g_original = m_patch.Original();
}

LONG FailingCall::Calls() { return g_calls; }
LONG FailingCall::Failures() { return g_failures; }
long FailingCall::ThreadsAtFailure() { return g_threadsAtFailure; }
