// One gibibyte through one channel in random write sizes, with a host that now
// and then stops taking until flow control has to hold the writer back.
#include <gtest/gtest.h>
#include <algorithm>
#include <random>
#include <vector>
#include "block_sink.h"
#include "held_writer.h"
#include "soak_common.h"
#include "tuner_fixture.h"
#include "wait_until.h"

namespace {

constexpr uint64_t VOLUME_BYTES = 1ull << 30;
constexpr uint64_t SEED = 0x5EED0001;
constexpr int STALLS = 8;
constexpr DWORD FILL_TIMEOUT_MS = 20000;
constexpr DWORD CONNECT_MS = 5000;
const char SOAK[] = "volume";

class VolumeSoak : public OpenChannelTest {
protected:
    bool SelectsInSetUp() const override { return false; }
};

// Offsets of the stream at which the host stops taking, spread at random.
std::vector<uint64_t> StallPoints(uint64_t total, int count, uint64_t seed)
{
    std::mt19937_64 random(seed);
    std::uniform_int_distribution<uint64_t> pick(1, total - 1);
    std::vector<uint64_t> points(count);
    for (uint64_t& point : points)
        point = pick(random);
    std::sort(points.begin(), points.end());
    return points;
}

// Takes nothing until the ring holds the high-water count, noting the most seen.
bool StallUntilHighWater(IBonDriver2* tuner, DWORD& mostReady)
{
    return WaitUntil([&] {
        const DWORD ready = tuner->QueryReadyCount();
        mostReady = std::max(mostReady, ready);
        return ready >= HIGH_WATER;
    }, FILL_TIMEOUT_MS);
}

struct VolumeResult {
    uint64_t bytes = 0;
    uint64_t blocks = 0;
    uint64_t emptyBlocks = 0;
    DWORD largestBlock = 0;
    int stallsAtHighWater = 0;
    DWORD mostReady = 0;
};

// The whole stream, with the host stalling at random points; the channel is closed
// and the writer gone on return.
::testing::AssertionResult Stream(IBonDriver2* tuner, DWORD channel, VolumeResult& result)
{
    // Held connected to the end, so no departure can put an empty block in the stream.
    HeldWriter writer(channel, SEED, VOLUME_BYTES, 1, MAX_WRITE, CONNECT_MS);
    BlockSink sink(tuner, SEED);
    writer.Start();
    bool received = true;
    for (uint64_t point : StallPoints(VOLUME_BYTES, STALLS, SEED)) {
        received = sink.ReceiveAtLeast(point);
        if (!received)
            break;
        result.stallsAtHighWater += StallUntilHighWater(tuner, result.mostReady);
    }
    received = received && sink.ReceiveBytes(VOLUME_BYTES);
    // Closing first cuts off a writer that a failed stream left blocked in a write.
    tuner->CloseTuner();
    writer.Release();
    writer.Join();
    result.bytes = sink.Bytes();
    result.blocks = sink.Blocks();
    result.emptyBlocks = sink.EmptyBlocks();
    result.largestBlock = sink.LargestBlock();
    if (!received)
        return ::testing::AssertionFailure() << sink.Fault();
    if (!writer.Succeeded())
        return ::testing::AssertionFailure() << "the writer stopped after " << writer.BytesWritten() << " bytes";
    return ::testing::AssertionSuccess();
}

TEST_F(VolumeSoak, GibibyteOfRandomWritesArrivesByteForByteThroughStallsThatReachTheHighWater)
{
    ASSERT_TRUE(WarmUp(tuner, CHANNEL));
    const Figures start = Figures::Take();
    PrintFigures(SOAK, "start", start);
    ASSERT_TRUE(Counted(start));
    const Stopwatch clock;
    ASSERT_TRUE(tuner->SelectChannel(0, CHANNEL));
    VolumeResult result;
    const ::testing::AssertionResult streamed = Stream(tuner, CHANNEL, result);
    PrintVolume(SOAK, result.bytes, clock.Seconds());
    std::printf("[%s] %llu blocks, largest %lu bytes, %d of %d stalls reached %lu ready (most %lu)\n", SOAK,
                static_cast<unsigned long long>(result.blocks), static_cast<unsigned long>(result.largestBlock),
                result.stallsAtHighWater, STALLS, static_cast<unsigned long>(HIGH_WATER),
                static_cast<unsigned long>(result.mostReady));
    const Figures end = Figures::Take();
    PrintFigures(SOAK, "end", end);

    ASSERT_TRUE(streamed);
    EXPECT_EQ(result.stallsAtHighWater, STALLS) << "every stall must bring flow control into play";
    EXPECT_LE(result.mostReady, MOST_READY);
    EXPECT_LE(result.largestBlock, BLOCK_BYTES);
    EXPECT_EQ(result.emptyBlocks, 0u) << "a connected writer's stream has no empty block";
    EXPECT_EQ(end.handles, start.handles);
    EXPECT_EQ(end.threads, start.threads);
}

}  // namespace
