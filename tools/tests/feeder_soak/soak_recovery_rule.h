// When a host's block of data is the recovery the soak waits for after a fault.
// Plain C++, shared by the hosts and the soak's tests.
#pragma once
#include <cstdint>

// Data counts once the fault is over (restoredUs set, none counted yet), after
// the restore, and after the data had paused at least minGapMs: bytes that were
// already on their way when the fault came are no recovery.
inline bool CountsAsRecovery(int64_t restoredUs, int64_t recoveredUs, int64_t nowUs, int64_t gapUs, int32_t minGapMs)
{
    const int64_t US_PER_MS = 1000;
    return restoredUs != 0 && recoveredUs == 0 && nowUs > restoredUs && gapUs >= minGapMs * US_PER_MS;
}
