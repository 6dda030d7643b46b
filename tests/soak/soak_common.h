// Shared by the soaks: sizes, the figures each one prints at start and end, a
// warm-up before the first count, and a stopwatch.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>
#include <cstdint>
#include "IBonDriver.h"
#include "census.h"

constexpr uint64_t MiB = 1ull << 20;
constexpr DWORD MAX_WRITE = 64 * 1024;
constexpr DWORD HIGH_WATER = 70;            // ready blocks that pause reading
constexpr DWORD MOST_READY = 85;            // ring of 86 less the block last handed out
constexpr DWORD MAX_READS_IN_FLIGHT = 16;
constexpr DWORD WAIT_ABANDONED_RESULT = 128;

// The process's own handles, threads and private bytes.
struct Figures {
    long handles;
    long threads;
    SIZE_T privateBytes;
    static Figures Take();
};

inline ::testing::AssertionResult Counted(const Figures& figures)
{
    return Counted(figures.handles, figures.threads);
}

void PrintFigures(const char* soak, const char* when, const Figures& figures);
void PrintVolume(const char* soak, uint64_t bytes, double seconds);

// Wine makes some handles and threads on first use of pipes, events and threads:
// one open, stream and close before the first count keeps them out of it.
// The soaks' writers are HeldWriters, whose plain threads make no handles of their own.
::testing::AssertionResult WarmUp(IBonDriver2* tuner, DWORD channel);

class Stopwatch {
public:
    Stopwatch() : m_start(GetTickCount64()) {}
    double Seconds() const { return (GetTickCount64() - m_start) / 1000.0; }

private:
    ULONGLONG m_start;
};
