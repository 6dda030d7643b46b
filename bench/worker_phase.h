// The relative phase of the two workers, seen from outside: the writer unblocks when
// the push worker wakes and starts reads; a burst of blocks reaches the host when the
// pop worker wakes and collects. Each burst is timed from the push wake before it.
#pragma once
#include <vector>
#include "block_log.h"

struct PhaseFigures {
    double  medianMs;       // pop wake after push wake, median over bursts
    double  quartileLowMs;  // and its 25th and 75th percentiles: narrow when the phase holds
    double  quartileHighMs;
    double  earlyShare;     // bursts less than EARLY_PHASE_MS after a push wake, 0 to 1
};

constexpr double EARLY_PHASE_MS = 3.0;

// `unblocks` are the ends of the writer's waits; those closer than half a poll to the
// one before belong to the same push wake, since the push worker sleeps 10 ms between.
PhaseFigures PopAfterPush(const std::vector<double>& unblocks, const BlockLog& log);
