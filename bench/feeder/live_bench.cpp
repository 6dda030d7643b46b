// Entry position of a live file channel: visits at uneven gaps, each one's first PCR
// against the first visit's, the difference set against the time between the two
// Select calls, modulo the loop. The recording is made here, so its loop is exact.
#include "feeder_bench.h"

#include <cmath>
#include <cstdio>

#include "synthetic_ts.h"
#include "ts_check.h"

namespace {

const uint32_t LIVE_CHANNEL = 0;
const size_t   PACKETS_PER_SECOND = 500;
const size_t   PCR_EVERY = 20;                  // 40 ms
const uint64_t PCR_STEP = 1080000;              // 40 ms of 27 MHz ticks
const uint64_t FIRST_PCR = 0;
const double   LOOP_SECONDS = 7.0;
const double   TICKS_PER_SECOND = 27e6;
const double   FIRST_PCR_LIMIT_SECONDS = 5.0;
const double   INDEX_LIMIT_SECONDS = 15.0;
const double   WATCH_SECONDS = 0.2;
const double   GAP_BASE_SECONDS = 0.4;          // gaps of 0.4 s to 2.9 s, spread by a fixed step
const double   GAP_STEP_SECONDS = 0.73;
const double   GAP_SPAN_SECONDS = 2.5;
const DWORD    POLL_MS = 20;

// Seconds into the recording of the first PCR the visit sent; < 0 when none came.
double VisitFirstPcr(BenchHost* host)
{
    std::vector<uint8_t> bytes;
    const auto take = [&bytes](const uint8_t* data, DWORD size) { bytes.insert(bytes.end(), data, data + size); };
    if (host->SelectAndTimeFirstBlock(LIVE_CHANNEL, FIRST_PCR_LIMIT_SECONDS, take) < 0.0)
        return -1.0;
    host->Drain(WATCH_SECONDS, take);
    host->Leave();
    const TsReport report = CheckTransportStream(bytes);
    return report.pcrs.empty() ? -1.0 : (report.pcrs.front().ticks - FIRST_PCR) / TICKS_PER_SECOND;
}

bool WaitIndexed(FeederProcess* feeder)
{
    const double end = SecondsNow() + INDEX_LIMIT_SECONDS;
    while (feeder->Output().find("indexed") == std::string::npos) {
        if (SecondsNow() > end)
            return false;
        Sleep(POLL_MS);
    }
    return true;
}

} // namespace

void RunLiveBench(const FeederBenchOptions& options)
{
    std::printf("live file entry position (?loop&live, a %.0f s loop, a PCR every 40 ms), %d visits:\n",
                LOOP_SECONDS, options.switches);
    const std::string path = TempFileWith(PacketsWithSteadyPcrs(
        static_cast<size_t>(LOOP_SECONDS * PACKETS_PER_SECOND), PCR_EVERY, PCR_STEP, FIRST_PCR));
    FeederProcess feeder;
    BenchHost host;
    if (!host.Load() || !feeder.Start({std::to_string(LIVE_CHANNEL) + "=file:" + path + "?loop&live"})
        || !WaitIndexed(&feeder)) {
        std::printf("  cannot start the feeder or the host, or the file was not indexed\n");
        DeleteFileA(path.c_str());
        return;
    }
    const double firstSelect = SecondsNow();
    const double firstPcr = VisitFirstPcr(&host);
    std::vector<double> errors;
    int failures = firstPcr < 0.0 ? 1 : 0;
    for (int i = 1; i < options.switches && firstPcr >= 0.0; ++i) {
        Sleep(static_cast<DWORD>((GAP_BASE_SECONDS + std::fmod(i * GAP_STEP_SECONDS, GAP_SPAN_SECONDS)) * 1000.0));
        const double selected = SecondsNow() - firstSelect;
        const double pcr = VisitFirstPcr(&host);
        if (pcr < 0.0)
            ++failures;
        else
            errors.push_back(std::fabs(std::remainder(pcr - firstPcr - selected, LOOP_SECONDS)));
    }
    PrintSpread("entry error against the first visit", errors, "ms", 1000.0);
    if (failures > 0)
        std::printf("  %d visits saw no PCR within %.0f s\n", failures, FIRST_PCR_LIMIT_SECONDS);
    feeder.Wait(0);
    DeleteFileA(path.c_str());
}
