#include "worker_phase.h"
#include <algorithm>
#include "bench_config.h"
#include "stats.h"


namespace {

constexpr double LOWER_QUARTILE = 0.25;
constexpr double UPPER_QUARTILE = 0.75;
constexpr double SAME_WAKE_SECONDS = DESIGN_POLL_MS / 2 / MS_PER_SECOND;

std::vector<double> PushWakes(const std::vector<double>& unblocks)
{
    std::vector<double> wakes;
    for (double at : unblocks)
        if (wakes.empty() || at - wakes.back() > SAME_WAKE_SECONDS)
            wakes.push_back(at);
    return wakes;
}

// The push worker's own cycle: how long it is, and how many reads it got to start in each.
void PushCycles(const std::vector<double>& pushWakes, const BlockLog& log, PhaseFigures& figures)
{
    if (pushWakes.size() < 2)
        return;
    std::vector<double> periods;
    for (size_t i = 1; i < pushWakes.size(); ++i)
        periods.push_back((pushWakes[i] - pushWakes[i - 1]) * MS_PER_SECOND);
    size_t blocks = 0;
    for (const BlockArrival& a : log.Arrivals())
        blocks += a.at >= pushWakes.front() && a.at < pushWakes.back();
    figures.pushPeriodMs = SpreadOf(periods).median;
    figures.blocksPerPush = static_cast<double>(blocks) / periods.size();
}

}  // namespace

PhaseFigures PopAfterPush(const std::vector<double>& unblocks, const BlockLog& log)
{
    const std::vector<double> pushWakes = PushWakes(unblocks);
    PhaseFigures figures = {0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
    PushCycles(pushWakes, log, figures);
    std::vector<double> phases;
    size_t early = 0, earlyBlocks = 0, lateBlocks = 0;
    for (const Burst& b : log.BurstList()) {
        auto after = std::upper_bound(pushWakes.begin(), pushWakes.end(), b.at);
        if (after == pushWakes.begin())
            continue;   // before the first push wake the writer saw
        const double ms = (b.at - *(after - 1)) * MS_PER_SECOND;
        phases.push_back(ms);
        const bool isEarly = ms < EARLY_PHASE_MS;
        early += isEarly;
        (isEarly ? earlyBlocks : lateBlocks) += b.blocks;
    }
    if (phases.empty())
        return figures;
    const size_t late = phases.size() - early;
    figures.medianMs = SpreadOf(phases).median;
    figures.quartileLowMs = Percentile(phases, LOWER_QUARTILE);
    figures.quartileHighMs = Percentile(phases, UPPER_QUARTILE);
    figures.earlyShare = static_cast<double>(early) / phases.size();
    figures.earlyBlocks = early ? static_cast<double>(earlyBlocks) / early : 0.0;
    figures.lateBlocks = late ? static_cast<double>(lateBlocks) / late : 0.0;
    return figures;
}
