#include "thread_clock.h"
#include <algorithm>
#include <tlhelp32.h>
#include "bench_clock.h"

namespace {

constexpr double SECONDS_PER_FILETIME_TICK = 1e-7;
constexpr double STEP_SPIN_LIMIT_SECONDS = 0.5;

// Spins until the process's CPU clock leaves `from`; returns the new reading.
ULONGLONG SpinPast(ULONGLONG from, double deadline)
{
    ULONGLONG now = ProcessCpuTicks();
    while (now == from && NowSeconds() < deadline)
        now = ProcessCpuTicks();
    return now;
}

ULONGLONG Ticks(const FILETIME& kernel, const FILETIME& user)
{
    const ULONGLONG k = (static_cast<ULONGLONG>(kernel.dwHighDateTime) << 32) | kernel.dwLowDateTime;
    const ULONGLONG u = (static_cast<ULONGLONG>(user.dwHighDateTime) << 32) | user.dwLowDateTime;
    return k + u;
}

}  // namespace

std::vector<DWORD> OwnThreadIds()
{
    std::vector<DWORD> ids;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return ids;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    const DWORD self = GetCurrentProcessId();
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == self)
            ids.push_back(entry.th32ThreadID);
    CloseHandle(snapshot);
    return ids;
}

std::vector<DWORD> NewThreads(const std::vector<DWORD>& before, const std::vector<DWORD>& after)
{
    std::vector<DWORD> added;
    for (DWORD id : after)
        if (std::find(before.begin(), before.end(), id) == before.end())
            added.push_back(id);
    return added;
}

ULONGLONG ProcessCpuTicks()
{
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user))
        return 0;
    return Ticks(kernel, user);
}

double CpuTicksToSeconds(ULONGLONG ticks)
{
    return static_cast<double>(ticks) * SECONDS_PER_FILETIME_TICK;
}

ThreadClock::ThreadClock(const std::vector<DWORD>& threadIds)
{
    for (DWORD id : threadIds) {
        HANDLE thread = OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, id);
        if (thread != NULL)
            m_threads.push_back(thread);
    }
}

ThreadClock::~ThreadClock()
{
    for (HANDLE thread : m_threads)
        CloseHandle(thread);
}

ULONGLONG ThreadClock::CpuTicks() const
{
    ULONGLONG total = 0;
    for (HANDLE thread : m_threads) {
        FILETIME created, exited, kernel, user;
        if (GetThreadTimes(thread, &created, &exited, &kernel, &user))
            total += Ticks(kernel, user);
    }
    return total;
}

double CpuClockStepSeconds()
{
    const double deadline = NowSeconds() + STEP_SPIN_LIMIT_SECONDS;
    const ULONGLONG first = SpinPast(ProcessCpuTicks(), deadline);
    const ULONGLONG second = SpinPast(first, deadline);
    return NowSeconds() < deadline ? CpuTicksToSeconds(second - first) : 0.0;
}
