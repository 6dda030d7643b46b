// Latency of one 188-byte packet from the writer's WriteFile to the host's take,
// with random gaps so that the writes land all over the workers' 10 ms poll.
#include <atomic>
#include <thread>
#include <vector>
#include "bench_clock.h"
#include "bench_config.h"
#include "pipe_client.h"
#include "report.h"
#include "sections.h"
#include "stats.h"
#include "write_sizes.h"

namespace {

constexpr DWORD GAP_MIN_MS = 3;
constexpr DWORD GAP_MAX_MS = 23;
constexpr DWORD ECHO_LIMIT_MS = 1000;   // a packet not taken by then counts as lost
constexpr DWORD WAIT_SLICE_MS = 100;
constexpr uint64_t GAP_SEED = 0x6A95;
constexpr double P50 = 0.50, P95 = 0.95, P99 = 0.99;
constexpr int MS_DECIMALS = 2;

struct LatencyRun {
    bool    ok;
    double  p50, p95, p99, max;
    int     lost;
};

// The writer's side: one packet per gap, the next only after the host has taken it.
struct PingWriter {
    std::atomic<double> sentAt{0.0};
    std::atomic<bool>   finished{false};
    HANDLE              taken = CreateEventW(NULL, FALSE, FALSE, NULL);
    int                 lost = 0;
    bool                ok = false;

    ~PingWriter() { CloseHandle(taken); }
    void Run(int samples)
    {
        HANDLE pipe = ConnectPipe(PipeName(BENCH_CHANNEL), CONNECT_LIMIT_MS);
        ok = pipe != INVALID_HANDLE_VALUE;
        WriteSizes gaps = WriteSizes::Uniform(GAP_MIN_MS, GAP_MAX_MS, GAP_SEED);
        const BYTE packet[PACKET_BYTES] = {0x47};
        // One extra packet first: it waits for the push worker to see the writer.
        for (int i = 0; ok && i <= samples; ++i) {
            Sleep(gaps.Next());
            double blockedMs = 0.0;
            sentAt = NowSeconds();
            ok = WriteTimed(pipe, packet, PACKET_BYTES, blockedMs);
            if (ok && WaitForSingleObject(taken, ECHO_LIMIT_MS) != WAIT_OBJECT_0)
                ++lost;
        }
        if (pipe != INVALID_HANDLE_VALUE)
            CloseHandle(pipe);
        finished = true;
    }
};

// Takes the packets as they come and times each against its write.
std::vector<double> CollectLatencies(IBonDriver2* tuner, PingWriter& writer)
{
    std::vector<double> latencies;
    bool first = true;
    while (!writer.finished) {
        if (tuner->WaitStream(WAIT_SLICE_MS) != WAIT_OBJECT_0)
            continue;
        BYTE* data = nullptr;
        DWORD size = 0, remaining = 0;
        do {
            if (!tuner->TakeStream(&data, &size, &remaining))
                return latencies;
            if (size == 0)
                continue;
            const double ms = (NowSeconds() - writer.sentAt) * MS_PER_SECOND;
            if (!first)
                latencies.push_back(ms);
            first = false;
            SetEvent(writer.taken);
        } while (remaining > 0);
    }
    return latencies;
}

LatencyRun MeasureLatency(IBonDriver2* tuner, int samples)
{
    LatencyRun run = {false, 0.0, 0.0, 0.0, 0.0, 0};
    if (!tuner->SelectChannel(0, BENCH_CHANNEL))
        return run;
    PingWriter writer;
    std::thread thread([&] { writer.Run(samples); });
    const std::vector<double> latencies = CollectLatencies(tuner, writer);
    thread.join();
    tuner->CloseTuner();
    run.ok = writer.ok && static_cast<int>(latencies.size()) == samples;
    run.p50 = Percentile(latencies, P50);
    run.p95 = Percentile(latencies, P95);
    run.p99 = Percentile(latencies, P99);
    run.max = Percentile(latencies, 1.0);
    run.lost = writer.lost;
    return run;
}

}  // namespace

void RunLatencySection(IBonDriver2* tuner, const BenchOptions& options)
{
    PrintSection("Latency, one 188-byte write to WaitStream return and TakeStream, random gaps of 3-23 ms");
    std::vector<double> p50, p95, p99, max;
    for (int i = 0; i < options.runs; ++i) {
        const LatencyRun run = MeasureLatency(tuner, options.latencySamples);
        PrintNote("run %d: p50 %.2f ms, p95 %.2f ms, p99 %.2f ms, max %.2f ms over %d packets, %d lost%s", i + 1,
                  run.p50, run.p95, run.p99, run.max, options.latencySamples, run.lost, run.ok ? "" : " (FAILED)");
        p50.push_back(run.p50);
        p95.push_back(run.p95);
        p99.push_back(run.p99);
        max.push_back(run.max);
    }
    PrintFigure("latency p50", SpreadOf(p50), "ms", MS_DECIMALS);
    PrintFigure("latency p95", SpreadOf(p95), "ms", MS_DECIMALS);
    PrintFigure("latency p99", SpreadOf(p99), "ms", MS_DECIMALS);
    PrintFigure("latency max", SpreadOf(max), "ms", MS_DECIMALS);
}
