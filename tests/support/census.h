// Counts this process's kernel handles and threads, for leak checks.
#pragma once
#include <windows.h>

// GetProcessHandleCount answers 0 under Wine, so the system handle table is asked.
long CountOwnHandles();
long CountOwnThreads();

struct Census {
    long handles;
    long threads;
    static Census Take() { return {CountOwnHandles(), CountOwnThreads()}; }
};
