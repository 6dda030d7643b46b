// Busy blocks and bytes in every heap of this process, walked under each heap's lock.
#pragma once
#include <cstdint>

struct HeapCensus {
    bool        ok;
    uint64_t    busyBlocks;
    uint64_t    busyBytes;
};

// Allocates nothing itself, so that it can be taken on both sides of a measurement.
HeapCensus TakeHeapCensus();
