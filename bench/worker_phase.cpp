#include "worker_phase.h"
#include <algorithm>
#include "bench_config.h"
#include "stats.h"


PhaseFigures PopAfterPush(const std::vector<double>& pushWakes, const BlockLog& log)
{
    PhaseFigures figures = {0.0, 0.0, 0.0, 0.0};
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
    figures.earlyShare = static_cast<double>(early) / phases.size();
    figures.earlyBlocks = early ? static_cast<double>(earlyBlocks) / early : 0.0;
    figures.lateBlocks = late ? static_cast<double>(lateBlocks) / late : 0.0;
    return figures;
}
