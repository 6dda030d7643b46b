#include "worker_stall.h"
#include "wait_until.h"

namespace {

constexpr DWORD STALL_MS = 10000;   // far beyond the driver's 1000 ms wait
constexpr int WORKERS = 2;

decltype(&CreateThread) g_createThread = nullptr;
decltype(&Sleep) g_sleep = nullptr;
decltype(&LeaveCriticalSection) g_leave = nullptr;
decltype(&EnterCriticalSection) g_enter = nullptr;
LONG g_created = 0;
DWORD g_workerIds[WORKERS] = {};
DWORD g_stalledId = 0;
HANDLE g_entered = NULL;
HANDLE g_release = NULL;
LONG g_otherInEnter = 0;     // the other worker's Enter calls that have not returned

HANDLE WINAPI RecordingCreateThread(LPSECURITY_ATTRIBUTES sa, SIZE_T stack, LPTHREAD_START_ROUTINE start,
                                    LPVOID param, DWORD flags, LPDWORD id)
{
    DWORD ownId = 0;
    HANDLE thread = g_createThread(sa, stack, start, param, flags, &ownId);
    const LONG index = InterlockedIncrement(&g_created) - 1;
    g_workerIds[index % WORKERS] = ownId;
    if (id != nullptr)
        *id = ownId;
    return thread;
}

void BlockIfChosen()
{
    if (g_stalledId == 0 || GetCurrentThreadId() != g_stalledId)
        return;
    SetEvent(g_entered);
    WaitForSingleObject(g_release, STALL_MS);
}

// While the stalled worker owns the lock, an Enter of the other worker that has
// not returned never will, whether it began before the stall or after.
void WINAPI WatchedEnter(LPCRITICAL_SECTION cs)
{
    const DWORD self = GetCurrentThreadId();
    const bool other = self != g_stalledId && (self == g_workerIds[0] || self == g_workerIds[1]);
    if (other)
        InterlockedIncrement(&g_otherInEnter);
    g_enter(cs);
    if (other)
        InterlockedDecrement(&g_otherInEnter);
}

void WINAPI StallingSleep(DWORD ms)
{
    BlockIfChosen();
    g_sleep(ms);
}

// Blocks before leaving, so the worker stalls while it owns the lock.
void WINAPI StallingLeave(LPCRITICAL_SECTION cs)
{
    BlockIfChosen();
    g_leave(cs);
}

HMODULE Reset(HMODULE driver)
{
    g_created = 0;
    g_stalledId = 0;
    g_workerIds[0] = g_workerIds[1] = 0;
    g_otherInEnter = 0;
    g_entered = CreateEventW(NULL, TRUE, FALSE, NULL);
    g_release = CreateEventW(NULL, TRUE, FALSE, NULL);
    return driver;
}

const char* StallImport(StallIn where)
{
    return where == StallIn::Sleep ? "Sleep" : "LeaveCriticalSection";
}

void* StallReplacement(StallIn where)
{
    return where == StallIn::Sleep ? reinterpret_cast<void*>(&StallingSleep)
                                   : reinterpret_cast<void*>(&StallingLeave);
}

}  // namespace

WorkerStall::WorkerStall(HMODULE driver, StallIn where)
    : m_where(where),
      m_created(Reset(driver), "kernel32.dll", "CreateThread", reinterpret_cast<void*>(&RecordingCreateThread)),
      m_enter(driver, "kernel32.dll", "EnterCriticalSection", reinterpret_cast<void*>(&WatchedEnter)),
      m_stall(driver, "kernel32.dll", StallImport(where), StallReplacement(where))
{
    g_createThread = reinterpret_cast<decltype(&CreateThread)>(m_created.Original());
    g_enter = reinterpret_cast<decltype(&EnterCriticalSection)>(m_enter.Original());
    if (where == StallIn::Sleep)
        g_sleep = reinterpret_cast<decltype(&Sleep)>(m_stall.Original());
    else
        g_leave = reinterpret_cast<decltype(&LeaveCriticalSection)>(m_stall.Original());
}

WorkerStall::~WorkerStall()
{
    Restore();
    CloseHandle(g_entered);
    CloseHandle(g_release);
}

bool WorkerStall::Stall(Worker which)
{
    g_stalledId = g_workerIds[which == Worker::Push ? 0 : 1];
    if (g_stalledId == 0 || WaitForSingleObject(g_entered, STATE_TIMEOUT_MS) != WAIT_OBJECT_0)
        return false;
    return m_where != StallIn::Lock || WaitUntil([] { return InterlockedCompareExchange(&g_otherInEnter, 0, 0) > 0; });
}

void WorkerStall::Restore()
{
    g_stalledId = 0;
    SetEvent(g_release);    // a stalled worker that was not ended goes on
    m_stall.Restore();
    m_enter.Restore();
    m_created.Restore();
}
