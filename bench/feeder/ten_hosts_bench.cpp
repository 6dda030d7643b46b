// The driver under many hosts: ten host processes, each on a channel of its
// own fed by a writer process of its own as fast as the host takes, against one
// such pair alone. Total throughput, fairness between the channels, and CPU.
#include "feeder_bench.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <memory>

#include "stats.h"
#include "wide.h"

namespace {

const uint32_t MANY = 10;
const char     WRITER_BYTES[] = "1048576G";  // more than any run takes: the host's time ends it
const char     WRITER_WAIT_SECONDS[] = "60";
const char     DIGEST_BYTES[] = " bytes=";
const DWORD    SETTLE_MS = 1000;            // the writers have connected
const DWORD    END_MARGIN_MS = 30000;       // beyond the hosts' time, for Wine to end them
const double   CPU_BEFORE_END_SECONDS = 1.0;
// A Wine process takes a moment to start on a busy machine: each host's time
// ends at the same moment, after all have started.
const double   LAUNCH_SECONDS_EACH = 0.5;
const char     OVER_THE[] = "MB/s over the ";
const double   MB = 1e6;
const double   PERCENT = 100.0;

struct Pair {
    ChildProcess    writer;
    ChildProcess    host;
};

uint64_t ReceivedBytes(const std::string& output)
{
    const std::string digest = DigestLine(output);
    const size_t at = digest.find(DIGEST_BYTES);
    return at == std::string::npos ? 0 : std::strtoull(digest.c_str() + at + sizeof DIGEST_BYTES - 1, nullptr, 10);
}

// The host's "... over the S s from first to last data": the time its writer was sending.
double StreamingSeconds(const std::string& output)
{
    const size_t at = output.find(OVER_THE);
    return at == std::string::npos ? 0.0 : std::atof(output.c_str() + at + sizeof OVER_THE - 1);
}

struct RoundFigures {
    std::vector<double> perChannel;     // MB/s each host took while its writer sent
    double              cpuShare = -1.0; // hosts, writers and the Wine server, of one core
    bool                complete = false;
};

double CpuOfPairs(const UnixCpu& server)
{
    return UnixCpuOfAll("zelmoor_host.exe") + UnixCpuOfAll("zelmoor_writer.exe") + server.ServerSeconds();
}

// `count` pairs on channels 0..: the hosts first, all ending at one moment, then
// the writers at once, so that every channel streams over the same time; the
// CPU from Linux's /proc while all stream.
RoundFigures RunPairs(uint32_t count, double seconds)
{
    const std::string dll = Narrow(ProgramDirectory() + DriverFileName());
    std::vector<std::unique_ptr<Pair>> pairs;
    bool started = true;
    const double endAt = SecondsNow() + count * LAUNCH_SECONDS_EACH + seconds;
    for (uint32_t channel = 0; channel < count; ++channel) {
        pairs.push_back(std::make_unique<Pair>());
        started = pairs.back()->host.Start(ZELMOOR_HOST_EXE, {"--dll", dll, "--channel", std::to_string(channel),
                                                              "--seconds", std::to_string(endAt - SecondsNow())})
               && started;
    }
    for (uint32_t channel = 0; channel < count; ++channel)
        started = pairs[channel]->writer.Start(ZELMOOR_WRITER_EXE, {"--channel", std::to_string(channel), "--bytes",
                                                                    WRITER_BYTES, "--write-size", "64K",
                                                                    "--wait-seconds", WRITER_WAIT_SECONDS})
               && started;
    RoundFigures figures;
    if (!started)
        return figures;
    Sleep(SETTLE_MS);
    const UnixCpu server({"zelmoor_host.exe"});
    const double cpuStart = CpuOfPairs(server);
    const double wallStart = SecondsNow();
    const double sampleSeconds = endAt - SecondsNow() - CPU_BEFORE_END_SECONDS;
    if (sampleSeconds > 0.0)
        Sleep(static_cast<DWORD>(sampleSeconds * 1000));
    figures.cpuShare = (CpuOfPairs(server) - cpuStart) / (SecondsNow() - wallStart) * PERCENT;
    figures.complete = sampleSeconds > 0.0;
    for (auto& pair : pairs) {
        const DWORD code = pair->host.Wait(static_cast<DWORD>((endAt - SecondsNow()) * 1000) + END_MARGIN_MS);
        pair->writer.Wait(END_MARGIN_MS);      // cut off when its host left: exit 6 is expected
        const std::string output = pair->host.Output();
        const uint64_t bytes = ReceivedBytes(output);
        const double streamed = StreamingSeconds(output);
        figures.complete = figures.complete && code == 0 && bytes > 0 && streamed > 0.0;
        figures.perChannel.push_back(streamed > 0.0 ? bytes / streamed / MB : 0.0);
    }
    return figures;
}

double Sum(const std::vector<double>& values)
{
    double total = 0.0;
    for (double v : values)
        total += v;
    return total;
}

} // namespace

void RunTenHostsBench(const FeederBenchOptions& options)
{
    std::printf("the driver under %u host processes, each on its own channel from its own writer, as fast as\n"
                "they take (64 KiB writes, %.0f s a round, %d rounds; MB = 10^6 bytes):\n",
                MANY, options.manySeconds, options.manyRounds);
    std::vector<double> alone, total, fairness, spread, cpuAlone, cpuMany;
    for (int round = 0; round < options.manyRounds; ++round) {
        const RoundFigures one = RunPairs(1, options.manySeconds);
        const RoundFigures many = RunPairs(MANY, options.manySeconds);
        if (!one.complete || !many.complete) {
            std::printf("  round %d: a host or writer failed or took nothing; round left out\n", round + 1);
            continue;
        }
        const double least = *std::min_element(many.perChannel.begin(), many.perChannel.end());
        const double most = *std::max_element(many.perChannel.begin(), many.perChannel.end());
        const double mean = Sum(many.perChannel) / many.perChannel.size();
        alone.push_back(one.perChannel.front());
        total.push_back(Sum(many.perChannel));
        fairness.push_back(least / most);
        spread.push_back((most - least) / mean);
        cpuAlone.push_back(one.cpuShare / PERCENT);
        cpuMany.push_back(many.cpuShare / PERCENT);
        std::printf("  round %d, each channel MB/s:", round + 1);
        for (double rate : many.perChannel)
            std::printf(" %.1f", rate);
        std::printf("\n");
    }
    PrintSpread("one channel alone, MB/s", alone, "MB/s", 1.0);
    PrintSpread("ten channels at once, total MB/s", total, "MB/s", 1.0);
    if (!alone.empty() && !total.empty())
        std::printf("  %-44s %.2f\n", "total of ten over one alone (medians)",
                    SpreadOf(total).median / SpreadOf(alone).median);
    PrintSpread("fairness: slowest over fastest channel", fairness, "%", PERCENT);
    PrintSpread("spread: (fastest - slowest) / mean", spread, "%", PERCENT);
    PrintSpread("CPU, one pair (hosts, writers, Wine server)", cpuAlone, "%", PERCENT);
    PrintSpread("CPU, ten pairs (hosts, writers, Wine server)", cpuMany, "%", PERCENT);
}
