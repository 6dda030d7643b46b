#include "feeder_clock.h"

#include "clock.h"

namespace {

// Made as the program loads, before main: not at a channel's first visit, which
// would give each channel a start of its own.
const Stopwatch g_sinceStart;

} // namespace

double SecondsSinceFeederStart()
{
    return g_sinceStart.Seconds();
}
