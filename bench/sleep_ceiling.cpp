#include "sleep_ceiling.h"
#include <vector>
#include "bench_clock.h"
#include "bench_config.h"
#include "stats.h"

double MeasureSleepMs(DWORD ms, int samples)
{
    std::vector<double> took;
    for (int i = 0; i < samples; ++i) {
        const double start = NowSeconds();
        Sleep(ms);
        took.push_back((NowSeconds() - start) * MS_PER_SECOND);
    }
    return SpreadOf(took).median;
}

double DesignCeilingBytesPerSecond(double sleepMs)
{
    return DESIGN_READS_PER_SLEEP * static_cast<double>(BLOCK_BYTES) / (sleepMs / MS_PER_SECOND);
}
