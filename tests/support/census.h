// Counts this process's kernel handles and threads, for leak checks.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>

// GetProcessHandleCount answers 0 under Wine, so the system handle table is asked.
long CountOwnHandles();
long CountOwnThreads();
// The same for another process, by its id; -1 when the count failed.
long CountProcessHandles(DWORD pid);
long CountProcessThreads(DWORD pid);

struct Census {
    long handles;
    long threads;
    static Census Take() { return {CountOwnHandles(), CountOwnThreads()}; }
};

// A failed count answers -1, and two failed counts compare equal: check before comparing.
::testing::AssertionResult Counted(long handles, long threads);
inline ::testing::AssertionResult Counted(const Census& census)
{
    return Counted(census.handles, census.threads);
}
