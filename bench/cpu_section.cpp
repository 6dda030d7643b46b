// CPU time of an open channel: idle without a writer, idle with a silent writer, and
// carrying a paced 3 MB/s stream; the two workers apart, and the whole process.
#include <cstdio>
#include <functional>
#include <vector>
#include "bench_clock.h"
#include "bench_config.h"
#include "host_drain.h"
#include "pipe_client.h"
#include "report.h"
#include "sections.h"
#include "thread_clock.h"
#include "timed_writer.h"

namespace {

constexpr DWORD SETTLE_MS = 300;        // the push worker connects and starts its reads
constexpr DWORD EXPECTED_WORKERS = 2;
constexpr double WRITER_SPARE_SECONDS = 1.0;
constexpr int PERCENT_DECIMALS = 3;

struct CpuWindow {
    bool    ok;
    double  workersPercent;     // of one core
    double  processPercent;
    double  bytesPerSecond;     // carried during the window
};

enum class Load { NoWriter, SilentWriter, Paced };

CpuWindow TimeWindow(const ThreadClock& workers, const std::function<uint64_t()>& during)
{
    const double wall0 = NowSeconds();
    const ULONGLONG workers0 = workers.CpuTicks(), process0 = ProcessCpuTicks();
    const uint64_t bytes = during();
    const double wall = NowSeconds() - wall0;
    return {workers.Count() == EXPECTED_WORKERS, CpuTicksToSeconds(workers.CpuTicks() - workers0) / wall * PERCENT,
            CpuTicksToSeconds(ProcessCpuTicks() - process0) / wall * PERCENT, bytes / wall};
}

uint64_t DrainFor(IBonDriver2* tuner, DWORD ms)
{
    const double end = NowSeconds() + ms / MS_PER_SECOND;
    return DrainUntil(tuner, [&](uint64_t) { return NowSeconds() >= end; }, nullptr).bytes;
}

CpuWindow MeasureCpu(IBonDriver2* tuner, Load load, DWORD windowMs)
{
    const std::vector<DWORD> before = OwnThreadIds();
    if (!tuner->SelectChannel(0, BENCH_CHANNEL))
        return {false, 0.0, 0.0, 0.0};
    ThreadClock workers(NewThreads(before, OwnThreadIds()));
    CpuWindow window = {false, 0.0, 0.0, 0.0};
    if (load == Load::Paced) {
        const double seconds = (SETTLE_MS + windowMs) / MS_PER_SECOND + WRITER_SPARE_SECONDS;
        TimedWriter writer({PipeName(BENCH_CHANNEL), WriteSizes::Fixed(DATAGRAM_BYTES), seconds,
                            PACED_BYTES_PER_SECOND});
        writer.Start();
        DrainFor(tuner, SETTLE_MS);
        window = TimeWindow(workers, [&] { return DrainFor(tuner, windowMs); });
        tuner->CloseTuner();    // the writer's next write fails and it ends
        writer.Join();
        return window;
    }
    HANDLE silent = load == Load::SilentWriter ? ConnectPipe(PipeName(BENCH_CHANNEL), CONNECT_LIMIT_MS)
                                               : INVALID_HANDLE_VALUE;
    Sleep(SETTLE_MS);
    window = TimeWindow(workers, [&] { Sleep(windowMs); return uint64_t{0}; });
    window.ok = window.ok && (load == Load::NoWriter || silent != INVALID_HANDLE_VALUE);
    if (silent != INVALID_HANDLE_VALUE)
        CloseHandle(silent);
    tuner->CloseTuner();
    return window;
}

void RunLoad(IBonDriver2* tuner, Load load, const char* title, const BenchOptions& options)
{
    std::vector<double> workers, process, rate;
    for (int i = 0; i < options.cpuRuns; ++i) {
        const CpuWindow w = MeasureCpu(tuner, load, options.cpuWindowMs);
        const char* failed = w.ok ? "" : " (FAILED: workers not found)";
        if (load == Load::Paced)
            PrintNote("run %d: workers %.3f %%, process %.3f %%, %.3f MB/s carried%s", i + 1, w.workersPercent,
                      w.processPercent, w.bytesPerSecond / BYTES_PER_MB, failed);
        else
            PrintNote("run %d: workers %.3f %%, process %.3f %%%s", i + 1, w.workersPercent, w.processPercent, failed);
        workers.push_back(w.workersPercent);
        process.push_back(w.processPercent);
        rate.push_back(w.bytesPerSecond / BYTES_PER_MB);
    }
    char label[128];
    snprintf(label, sizeof(label), "%s, both workers", title);
    PrintFigure(label, SpreadOf(workers), "% core", PERCENT_DECIMALS);
    snprintf(label, sizeof(label), "%s, whole process", title);
    PrintFigure(label, SpreadOf(process), "% core", PERCENT_DECIMALS);
    if (load == Load::Paced)
        PrintFigure("rate carried in the window", SpreadOf(rate), "MB/s", PERCENT_DECIMALS);
}

}  // namespace

void RunCpuSection(IBonDriver2* tuner, const BenchOptions& options)
{
    char title[128];
    snprintf(title, sizeof(title), "CPU time over %.0f s windows (GetThreadTimes of the two workers, GetProcessTimes)",
             options.cpuWindowMs / MS_PER_SECOND);
    PrintSection(title);
    const double step = CpuClockStepSeconds();
    PrintNote("the CPU clocks move in steps of %.1f ms: %.3f %% of one window", step * MS_PER_SECOND,
              step * MS_PER_SECOND / options.cpuWindowMs * PERCENT);
    RunLoad(tuner, Load::NoWriter, "idle, no writer", options);
    RunLoad(tuner, Load::SilentWriter, "idle, silent writer", options);
    RunLoad(tuner, Load::Paced, "3 MB/s in 1,316-byte writes", options);
}
