// The host's figures and how they are printed.
#pragma once
#include <cstdint>
#include <string>

#include "stop_rule.h"

struct DrainStats {
    uint64_t    bytes = 0;          // kept (written and digested)
    uint64_t    blocks = 0;         // taken, empty ones included
    uint64_t    emptyBlocks = 0;
    uint32_t    readyNow = 0;       // ready count seen before the last take
    uint32_t    readyMax = 0;
    double      firstDataSeconds = 0.0;    // when the first and the latest block with data came
    double      lastDataSeconds = 0.0;
};

std::string FormatHostProgress(const DrainStats& stats, double seconds);
std::string FormatHostSummary(const DrainStats& stats, double seconds, StopReason reason);
