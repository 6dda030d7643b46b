// CPU time of chosen threads of this process, and of the whole process.
#pragma once
#include <windows.h>
#include <vector>

std::vector<DWORD> OwnThreadIds();
// Threads in `after` that were not in `before`.
std::vector<DWORD> NewThreads(const std::vector<DWORD>& before, const std::vector<DWORD>& after);
// CPU times are whole 100 ns ticks, so they compare and subtract exactly: on i686 a
// double held in an x87 register never equals its stored copy.
ULONGLONG ProcessCpuTicks();
double CpuTicksToSeconds(ULONGLONG ticks);
// How far the process's CPU clock moves in one step, found by spinning (0 if it never moves).
double CpuClockStepSeconds();

class ThreadClock {
public:
    explicit ThreadClock(const std::vector<DWORD>& threadIds);
    ~ThreadClock();
    ThreadClock(const ThreadClock&) = delete;
    ThreadClock& operator=(const ThreadClock&) = delete;

    size_t Count() const { return m_threads.size(); }
    ULONGLONG CpuTicks() const;  // kernel and user time, summed over the threads

private:
    std::vector<HANDLE> m_threads;
};
