#include "block_log.h"
#include "bench_config.h"
#include "stats.h"

namespace {
// Well under the 10 ms poll and well over one collection pass.
constexpr double BURST_GAP_SECONDS = 0.003;
}

std::vector<Burst> BlockLog::BurstList() const
{
    std::vector<Burst> bursts;
    double previous = -1.0;
    for (const BlockArrival& a : m_arrivals) {
        if (bursts.empty() || a.at - previous > BURST_GAP_SECONDS)
            bursts.push_back({a.at, 0});
        ++bursts.back().blocks;
        previous = a.at;
    }
    return bursts;
}

BurstFigures BlockLog::Bursts() const
{
    BurstFigures figures = {0.0, 0.0, 0.0, 0.0, 0.0};
    const std::vector<Burst> bursts = BurstList();
    if (bursts.empty())
        return figures;
    uint64_t bytes = 0;
    for (const BlockArrival& a : m_arrivals)
        bytes += a.bytes;
    std::vector<double> intervals;
    size_t full = 0;
    for (size_t i = 0; i < bursts.size(); ++i) {
        if (i > 0)
            intervals.push_back((bursts[i].at - bursts[i - 1].at) * MS_PER_SECOND);
        full += bursts[i].blocks >= DESIGN_READS_PER_SLEEP;
    }
    figures.blocksPerBurst = static_cast<double>(m_arrivals.size()) / bursts.size();
    figures.bytesPerBlock = static_cast<double>(bytes) / m_arrivals.size();
    figures.burstIntervalMs = SpreadOf(intervals).median;
    figures.fullBurstShare = static_cast<double>(full) / bursts.size();
    if (bursts.size() > 1)
        figures.cycleMs = (bursts.back().at - bursts.front().at) * MS_PER_SECOND / (bursts.size() - 1);
    return figures;
}
