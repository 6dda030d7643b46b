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

}  // namespace

PhaseFigures PopAfterPush(const std::vector<double>& unblocks, const BlockLog& log)
{
    const std::vector<double> pushWakes = PushWakes(unblocks);
    PhaseFigures figures = {0.0, 0.0, 0.0, 0.0};
    std::vector<double> phases;
    size_t early = 0;
    for (const Burst& b : log.BurstList()) {
        auto after = std::upper_bound(pushWakes.begin(), pushWakes.end(), b.at);
        if (after == pushWakes.begin())
            continue;   // before the first push wake the writer saw
        const double ms = (b.at - *(after - 1)) * MS_PER_SECOND;
        phases.push_back(ms);
        early += ms < EARLY_PHASE_MS;
    }
    if (phases.empty())
        return figures;
    figures.medianMs = SpreadOf(phases).median;
    figures.quartileLowMs = Percentile(phases, LOWER_QUARTILE);
    figures.quartileHighMs = Percentile(phases, UPPER_QUARTILE);
    figures.earlyShare = static_cast<double>(early) / phases.size();
    return figures;
}
