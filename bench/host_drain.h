// The host side: waits for the ready event and takes every ready block on each wake-up.
#pragma once
#include <windows.h>
#include <cstdint>
#include <functional>
#include "IBonDriver.h"
#include "block_log.h"

struct DrainFigures {
    bool        ok;             // ended because `done` said so, not by a fault or idle limit
    uint64_t    bytes;
    uint64_t    blocks;         // non-empty ones
    uint64_t    wakeups;
    double      firstBlockAt;   // NowSeconds() after the first non-empty take
    DWORD       firstBlockBytes;
    double      lastBlockAt;
};

// Steady-state rate from the first block to the last, the first block's bytes left out
// (they waited in the pipe buffer while the reader got going).
double SteadyBytesPerSecond(uint64_t bytes, DWORD firstBytes, double firstAt, double lastAt);

// Drains until `done(bytesSoFar)` holds, checked after every wake-up and time-out.
DrainFigures DrainUntil(IBonDriver2* tuner, const std::function<bool(uint64_t)>& done, BlockLog* log);
