// Time per SelectChannel + CloseTuner cycle, and that the cycles leave nothing behind.
#include <vector>
#include "bench_clock.h"
#include "bench_config.h"
#include "census.h"
#include "report.h"
#include "sections.h"

namespace {

constexpr int MS_DECIMALS = 2;

struct CycleRun {
    bool    ok;
    double  meanMs;
    double  longestMs;
    double  handlesLeft;
    double  threadsLeft;
};

CycleRun MeasureCycles(IBonDriver2* tuner, int cycles)
{
    const Census before = Census::Take();
    CycleRun run = {true, 0.0, 0.0, 0.0, 0.0};
    const double start = NowSeconds();
    for (int i = 0; i < cycles; ++i) {
        const double cycleStart = NowSeconds();
        run.ok = tuner->SelectChannel(0, BENCH_CHANNEL) && run.ok;
        tuner->CloseTuner();
        const double ms = (NowSeconds() - cycleStart) * MS_PER_SECOND;
        if (ms > run.longestMs)
            run.longestMs = ms;
    }
    run.meanMs = (NowSeconds() - start) * MS_PER_SECOND / cycles;
    const Census after = Census::Take();
    run.handlesLeft = static_cast<double>(after.handles - before.handles);
    run.threadsLeft = static_cast<double>(after.threads - before.threads);
    return run;
}

}  // namespace

void RunSelectCycleSection(IBonDriver2* tuner, const BenchOptions& options)
{
    char title[96];
    snprintf(title, sizeof(title), "Select/close cycles, %d per run, no writer", options.selectCycles);
    PrintSection(title);
    std::vector<double> mean, longest, handles, threads;
    for (int i = 0; i < options.runs; ++i) {
        const CycleRun run = MeasureCycles(tuner, options.selectCycles);
        if (!run.ok)
            PrintNote("run %d: a SelectChannel FAILED", i + 1);
        mean.push_back(run.meanMs);
        longest.push_back(run.longestMs);
        handles.push_back(run.handlesLeft);
        threads.push_back(run.threadsLeft);
    }
    PrintFigure("time per select/close cycle", SpreadOf(mean), "ms", MS_DECIMALS);
    PrintFigure("longest cycle", SpreadOf(longest), "ms", MS_DECIMALS);
    PrintFigure("handles left after the cycles", SpreadOf(handles), "", 0);
    PrintFigure("threads left after the cycles", SpreadOf(threads), "", 0);
}
