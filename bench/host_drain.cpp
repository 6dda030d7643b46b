#include "host_drain.h"
#include "bench_clock.h"
#include "bench_config.h"

namespace {

constexpr DWORD WAIT_SLICE_MS = 50;

// Takes blocks until none is left; false when the driver refuses a take.
bool TakeAll(IBonDriver2* tuner, DrainFigures& figures, BlockLog* log)
{
    DWORD remaining = 0;
    do {
        BYTE* data = nullptr;
        DWORD size = 0;
        if (!tuner->TakeStream(&data, &size, &remaining))
            return false;
        if (size == 0)
            continue;   // nothing ready, or an empty block after the writer left
        const double now = NowSeconds();
        if (figures.blocks == 0) {
            figures.firstBlockAt = now;
            figures.firstBlockBytes = size;
        }
        figures.lastBlockAt = now;
        figures.bytes += size;
        ++figures.blocks;
        if (log != nullptr)
            log->Add(now, size);
    } while (remaining > 0);
    return true;
}

}  // namespace

double SteadyBytesPerSecond(uint64_t bytes, DWORD firstBytes, double firstAt, double lastAt)
{
    const double seconds = lastAt - firstAt;
    return seconds > 0.0 ? static_cast<double>(bytes - firstBytes) / seconds : 0.0;
}

DrainFigures DrainUntil(IBonDriver2* tuner, const std::function<bool(uint64_t)>& done, BlockLog* log)
{
    DrainFigures figures = {false, 0, 0, 0, 0.0, 0, 0.0};
    double lastProgress = NowSeconds();
    while (!done(figures.bytes)) {
        const DWORD wait = tuner->WaitStream(WAIT_SLICE_MS);
        if (wait != WAIT_OBJECT_0 && wait != WAIT_TIMEOUT)
            return figures;
        figures.wakeups += wait == WAIT_OBJECT_0;
        const uint64_t before = figures.bytes;
        if (!TakeAll(tuner, figures, log))
            return figures;
        const double now = NowSeconds();
        if (figures.bytes != before)
            lastProgress = now;
        else if ((now - lastProgress) * MS_PER_SECOND > DRAIN_IDLE_LIMIT_MS)
            return figures;
    }
    figures.ok = true;
    return figures;
}
