// One throughput run: the same writer through the driver and through the raw pipe.
#pragma once
#include "IBonDriver.h"
#include "block_log.h"
#include "worker_phase.h"
#include "write_sizes.h"

struct StreamFigures {
    bool    ok;
    double  bytesPerSecond;
    double  longestWriteMs;
    PhaseFigures phase;     // the driver only
};

// Writer -> channel pipe -> driver -> host TakeStream; the tuner is closed afterwards.
StreamFigures StreamThroughDriver(IBonDriver2* tuner, const WriteSizes& sizes, double seconds, BlockLog& log);
// Writer -> plain pipe -> one blocking reader.
StreamFigures StreamThroughRawPipe(const WriteSizes& sizes, double seconds);
