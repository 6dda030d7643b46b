#include "soak_common.h"
#include <cstdio>
#include "block_sink.h"
#include "census.h"
#include "private_bytes.h"
#include "held_writer.h"

namespace {
constexpr uint64_t WARM_UP_BYTES = 4 * MiB;
constexpr uint64_t WARM_UP_SEED = 99;
constexpr DWORD WARM_UP_CONNECT_MS = 5000;
constexpr double KiB = 1024.0;
}

Figures Figures::Take()
{
    return {CountOwnHandles(), CountOwnThreads(), CommittedPrivateBytes()};
}

void PrintFigures(const char* soak, const char* when, const Figures& figures)
{
    std::printf("[%s] %s: %ld handles, %ld threads, %.0f KiB private\n", soak, when, figures.handles,
                figures.threads, figures.privateBytes / KiB);
    std::fflush(stdout);
}

void PrintVolume(const char* soak, uint64_t bytes, double seconds)
{
    std::printf("[%s] %.1f MiB in %.1f s (%.1f MB/s)\n", soak, bytes / double(MiB), seconds,
                seconds > 0 ? bytes / 1e6 / seconds : 0.0);
    std::fflush(stdout);
}

::testing::AssertionResult WarmUp(IBonDriver2* tuner, DWORD channel)
{
    if (!tuner->SelectChannel(0, channel))
        return ::testing::AssertionFailure() << "warm-up: channel " << channel << " did not open";
    HeldWriter writer(channel, WARM_UP_SEED, WARM_UP_BYTES, 1, MAX_WRITE, WARM_UP_CONNECT_MS);
    BlockSink sink(tuner, WARM_UP_SEED);
    writer.Start();
    writer.Release();
    const bool received = sink.ReceiveBytes(WARM_UP_BYTES);
    writer.Join();
    tuner->CloseTuner();
    if (!received)
        return ::testing::AssertionFailure() << "warm-up: " << sink.Fault();
    return ::testing::AssertionSuccess();
}
