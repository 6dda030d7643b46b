// The relative phase of the two workers, seen from outside: the writer unblocks when
// the push worker wakes and starts reads; a burst of blocks reaches the host when the
// pop worker wakes and collects. Each burst is timed from the push wake before it.
#pragma once
#include <vector>
#include "block_log.h"

struct PhaseFigures {
    double  medianMs;       // pop wake after push wake, median over bursts
    double  earlyShare;     // bursts less than EARLY_PHASE_MS after a push wake, 0 to 1
    double  earlyBlocks;    // mean blocks in those bursts
    double  lateBlocks;     // mean blocks in the others
};

constexpr double EARLY_PHASE_MS = 3.0;

PhaseFigures PopAfterPush(const std::vector<double>& pushWakes, const BlockLog& log);
