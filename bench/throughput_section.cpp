// Driver against raw pipe for three ways of cutting the stream, and bulk against the ceiling.
#include <vector>
#include "bench_config.h"
#include "report.h"
#include "sections.h"
#include "sleep_ceiling.h"
#include "throughput.h"

namespace {

constexpr size_t BLOCK_LOG_CAPACITY = 1 << 16;
constexpr uint64_t RANDOM_SIZES_SEED = 0x5EED;
constexpr int RATE_DECIMALS = 2;
constexpr int MS_DECIMALS = 1;
constexpr int RATIO_DECIMALS = 3;

struct StreamCase {
    const char* name;
    WriteSizes  sizes;
    bool        againstCeiling;     // bulk writes: compare with the design's ceiling
    bool        inMegabits;         // datagrams: also in Mbit/s, the unit of their target
};

struct CaseFigures {
    std::vector<double> driverMiB, rawMiB, ratio, driverBlockMs, rawBlockMs;
    std::vector<double> driverMbit, sleepMs, ceilingMiB, share, blocksPerBurst, phaseMs, cycleMs;
    std::vector<double> sleepShare, fillShare, blockShare;
};

double MiB(double bytesPerSecond) { return bytesPerSecond / BYTES_PER_MIB; }
double Mbit(double bytesPerSecond) { return bytesPerSecond * BITS_PER_BYTE / BITS_PER_MBIT; }

void PrintRun(int run, const StreamFigures& d, const StreamFigures& r, const BurstFigures& b, double sleepMs)
{
    PrintNote("run %d: driver %.2f MiB/s, raw %.2f MiB/s%s; longest write %.1f / %.1f ms; "
              "%.1f blocks per collection burst (%.0f%% full), %.1f KiB per block, burst every %.1f ms",
              run + 1, MiB(d.bytesPerSecond), MiB(r.bytesPerSecond), d.ok && r.ok ? "" : " (FAILED)",
              d.longestWriteMs, r.longestWriteMs, b.blocksPerBurst, b.fullBurstShare * PERCENT,
              b.bytesPerBlock / BYTES_PER_KIB, b.burstIntervalMs);
    const PhaseFigures& p = d.phase;
    PrintNote("       collection cycle %.2f ms on average; pop woke %.1f ms after push (median, quartiles %.1f-%.1f), "
              "%.0f%% of bursts within %.0f ms", b.cycleMs, p.medianMs, p.quartileLowMs, p.quartileHighMs,
              p.earlyShare * PERCENT, EARLY_PHASE_MS);
    if (sleepMs <= 0.0)
        return;
    PrintNote("       Sleep(10) took %.3f ms: ceiling %.2f MiB/s, share %.3f", sleepMs,
              MiB(DesignCeilingBytesPerSecond(sleepMs)), d.bytesPerSecond / DesignCeilingBytesPerSecond(sleepMs));
}

void Record(CaseFigures& f, const StreamFigures& d, const StreamFigures& r, const BurstFigures& b, double sleepMs)
{
    f.driverMiB.push_back(MiB(d.bytesPerSecond));
    f.rawMiB.push_back(MiB(r.bytesPerSecond));
    f.ratio.push_back(r.bytesPerSecond > 0.0 ? d.bytesPerSecond / r.bytesPerSecond : 0.0);
    f.driverBlockMs.push_back(d.longestWriteMs);
    f.rawBlockMs.push_back(r.longestWriteMs);
    f.driverMbit.push_back(Mbit(d.bytesPerSecond));
    f.blocksPerBurst.push_back(b.blocksPerBurst);
    f.phaseMs.push_back(d.phase.medianMs);
    f.cycleMs.push_back(b.cycleMs);
    if (sleepMs > 0.0) {
        const double ceiling = DesignCeilingBytesPerSecond(sleepMs);
        f.sleepMs.push_back(sleepMs);
        f.ceilingMiB.push_back(MiB(ceiling));
        f.share.push_back(d.bytesPerSecond / ceiling);
        f.sleepShare.push_back(b.cycleMs > 0.0 ? sleepMs / b.cycleMs : 0.0);
        f.fillShare.push_back(b.blocksPerBurst / DESIGN_READS_PER_SLEEP);
        f.blockShare.push_back(b.bytesPerBlock / BLOCK_BYTES);
    }
}

void PrintCase(const StreamCase& c, const CaseFigures& f)
{
    PrintFigure("driver throughput", SpreadOf(f.driverMiB), "MiB/s", RATE_DECIMALS);
    if (c.inMegabits)
        PrintFigure("driver throughput", SpreadOf(f.driverMbit), "Mbit/s", MS_DECIMALS);
    PrintFigure("raw pipe throughput", SpreadOf(f.rawMiB), "MiB/s", RATE_DECIMALS);
    PrintFigure("driver / raw pipe (same run)", SpreadOf(f.ratio), "", RATIO_DECIMALS);
    PrintFigure("writer's longest WriteFile, driver", SpreadOf(f.driverBlockMs), "ms", MS_DECIMALS);
    PrintFigure("writer's longest WriteFile, raw pipe", SpreadOf(f.rawBlockMs), "ms", MS_DECIMALS);
    PrintFigure("blocks per collection burst", SpreadOf(f.blocksPerBurst), "", MS_DECIMALS);
    PrintFigure("collection cycle, mean", SpreadOf(f.cycleMs), "ms", RATE_DECIMALS);
    PrintFigure("pop wake after push wake, median", SpreadOf(f.phaseMs), "ms", MS_DECIMALS);
    if (!c.againstCeiling)
        return;
    PrintFigure("Sleep(10) duration", SpreadOf(f.sleepMs), "ms", RATIO_DECIMALS);
    PrintFigure("design ceiling, 16 x 48,128 B per sleep", SpreadOf(f.ceilingMiB), "MiB/s", RATE_DECIMALS);
    PrintFigure("driver / ceiling (same run)", SpreadOf(f.share), "", RATIO_DECIMALS);
    PrintFigure("  ~ Sleep(10) / collection cycle", SpreadOf(f.sleepShare), "", RATIO_DECIMALS);
    PrintFigure("  x blocks per collection burst / 16", SpreadOf(f.fillShare), "", RATIO_DECIMALS);
    PrintFigure("  x bytes per block / 48,128", SpreadOf(f.blockShare), "", RATIO_DECIMALS);

}

void RunCase(IBonDriver2* tuner, StreamCase c, const BenchOptions& options, BlockLog& log)
{
    PrintSection(c.name);
    CaseFigures figures;
    for (int run = 0; run < options.runs; ++run) {
        const double sleepMs = c.againstCeiling ? MeasureSleepMs(DESIGN_POLL_MS, options.sleepSamples) : 0.0;
        StreamFigures driver, raw;
        // Alternate the order, so that a drift of the machine's load favours neither.
        if (run % 2 == 0) {
            driver = StreamThroughDriver(tuner, c.sizes, options.streamSeconds, log);
            raw = StreamThroughRawPipe(c.sizes, options.streamSeconds);
        } else {
            raw = StreamThroughRawPipe(c.sizes, options.streamSeconds);
            driver = StreamThroughDriver(tuner, c.sizes, options.streamSeconds, log);
        }
        const BurstFigures bursts = log.Bursts();
        PrintRun(run, driver, raw, bursts, sleepMs);
        Record(figures, driver, raw, bursts, sleepMs);
    }
    PrintCase(c, figures);
}

}  // namespace

void RunThroughputSection(IBonDriver2* tuner, const BenchOptions& options)
{
    const StreamCase cases[] = {
        {"Throughput, 96,256-byte writes (two blocks each)", WriteSizes::Fixed(BULK_WRITE_BYTES), true, false},
        {"Throughput, random writes of 1 B to 64 KiB",
         WriteSizes::Uniform(RANDOM_WRITE_MIN, RANDOM_WRITE_MAX, RANDOM_SIZES_SEED), false, false},
        {"Throughput, 1,316-byte writes (seven 188-byte packets)", WriteSizes::Fixed(DATAGRAM_BYTES), false, true},
    };
    BlockLog log(BLOCK_LOG_CAPACITY);
    for (const StreamCase& c : cases)
        RunCase(tuner, c, options, log);
}
