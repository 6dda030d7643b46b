#include "block_log.h"
#include "bench_config.h"
#include "stats.h"

namespace {
// Well under the 10 ms poll and well over one collection pass.
constexpr double BURST_GAP_SECONDS = 0.003;
}

BurstFigures BlockLog::Bursts() const
{
    BurstFigures figures = {0.0, 0.0, 0.0, 0.0};
    if (m_arrivals.empty())
        return figures;
    std::vector<double> starts;
    std::vector<size_t> sizes;
    uint64_t bytes = 0;
    double previous = -1.0;
    for (const BlockArrival& a : m_arrivals) {
        if (starts.empty() || a.at - previous > BURST_GAP_SECONDS) {
            starts.push_back(a.at);
            sizes.push_back(0);
        }
        ++sizes.back();
        bytes += a.bytes;
        previous = a.at;
    }
    std::vector<double> intervals;
    for (size_t i = 1; i < starts.size(); ++i)
        intervals.push_back((starts[i] - starts[i - 1]) * MS_PER_SECOND);
    size_t full = 0;
    for (size_t n : sizes)
        full += n >= DESIGN_READS_PER_SLEEP;
    figures.blocksPerBurst = static_cast<double>(m_arrivals.size()) / sizes.size();
    figures.bytesPerBlock = static_cast<double>(bytes) / m_arrivals.size();
    figures.burstIntervalMs = SpreadOf(intervals).median;
    figures.fullBurstShare = static_cast<double>(full) / sizes.size();
    return figures;
}
