// A hundred writers in turn on one open channel, each sending a different amount:
// every byte of every writer arrives in order, and empty blocks come only where a
// writer has left.
#include <gtest/gtest.h>
#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <vector>
#include "block_sink.h"
#include "held_writer.h"
#include "pipe_writer.h"
#include "soak_common.h"
#include "tuner_fixture.h"
#include "wait_until.h"

namespace {

constexpr int WRITERS = 100;
constexpr uint64_t MOST_PER_WRITER = 3 * MiB;
constexpr uint64_t SEED = 0x4EC0;
constexpr DWORD CONNECT_MS = 10000;     // the driver may still be pausing for flow control
const char SOAK[] = "reconnect";

// Around a block, the reads in flight, the high water and the ring.
const uint64_t EDGE_AMOUNTS[] = {1, 2, BLOCK_BYTES - 1, BLOCK_BYTES, BLOCK_BYTES + 1, MAX_WRITE,
                                 MAX_READS_IN_FLIGHT * BLOCK_BYTES, MAX_READS_IN_FLIGHT * BLOCK_BYTES + 1,
                                 HIGH_WATER * BLOCK_BYTES, (MOST_READY + 1) * BLOCK_BYTES + 1};

// Distinct amounts, the edges first and the rest at random.
std::vector<uint64_t> Amounts(int count, uint64_t seed)
{
    std::vector<uint64_t> amounts(std::begin(EDGE_AMOUNTS), std::end(EDGE_AMOUNTS));
    std::set<uint64_t> seen(amounts.begin(), amounts.end());
    std::mt19937_64 random(seed);
    std::uniform_int_distribution<uint64_t> pick(1, MOST_PER_WRITER);
    while (static_cast<int>(amounts.size()) < count) {
        const uint64_t amount = pick(random);
        if (seen.insert(amount).second)
            amounts.push_back(amount);
    }
    return amounts;
}

// Takes one writer's bytes, up to `end`, while it is still connected. Empty blocks
// may only come before its first byte, where the previous writer left; they are
// counted into `leadingEmpties`.
::testing::AssertionResult ReceiveWriter(IBonDriver2* tuner, BlockSink& sink, uint64_t end,
                                         uint64_t& leadingEmpties)
{
    const uint64_t start = sink.Bytes();
    const uint64_t emptiesAtStart = sink.EmptyBlocks();
    ULONGLONG lastProgress = GetTickCount64();
    while (sink.Bytes() < end) {
        const uint64_t bytesBefore = sink.Bytes();
        const uint64_t emptiesBefore = sink.EmptyBlocks();
        tuner->WaitStream(STREAM_WAIT_MS);
        if (!sink.DrainReady())
            return ::testing::AssertionFailure() << sink.Fault();
        if (bytesBefore == start)
            leadingEmpties = sink.EmptyBlocks() - emptiesAtStart;
        else if (sink.EmptyBlocks() != emptiesBefore)
            return ::testing::AssertionFailure() << "an empty block after byte " << bytesBefore - start << " of "
                                                 << end - start << " from a writer still connected";
        if (sink.Bytes() != bytesBefore)
            lastProgress = GetTickCount64();
        else if (GetTickCount64() - lastProgress > STREAM_IDLE_LIMIT_MS)
            return ::testing::AssertionFailure() << "stalled at byte " << sink.Bytes() - start << " of " << end - start;
    }
    if (sink.Bytes() != end)
        return ::testing::AssertionFailure() << sink.Bytes() - end << " bytes more than the writer sent";
    return ::testing::AssertionSuccess();
}

// After the last writer: the driver must listen again, and its departure's empties arrive.
uint64_t LastDepartureEmpties(BlockSink& sink, DWORD channel)
{
    const uint64_t before = sink.EmptyBlocks();
    PipeWriter next;
    EXPECT_TRUE(next.Connect(channel, CONNECT_MS)) << "no writer can connect after the last one left";
    WaitUntil([&] { return sink.DrainReady() && sink.EmptyBlocks() > before; });
    EXPECT_EQ(sink.Fault(), "");
    return sink.EmptyBlocks() - before;
}

class ReconnectSoak : public OpenChannelTest {
protected:
    bool SelectsInSetUp() const override { return false; }
    ::testing::AssertionResult OneWriter(int k, uint64_t amount, BlockSink& sink, uint64_t& leadingEmpties,
                                         uint64_t& written);
};

// Writer k connects, sends `amount` bytes, is received whole while still connected, then
// leaves; `written` grows by what the writer itself counted.
::testing::AssertionResult ReconnectSoak::OneWriter(int k, uint64_t amount, BlockSink& sink,
                                                    uint64_t& leadingEmpties, uint64_t& written)
{
    sink.ExpectNewWriter(SEED + k);
    HeldWriter writer(CHANNEL, SEED + k, amount, 1, MAX_WRITE, CONNECT_MS);
    writer.Start();
    ::testing::AssertionResult received = ReceiveWriter(tuner, sink, sink.Bytes() + amount, leadingEmpties);
    if (!received)
        tuner->CloseTuner();    // cuts off a writer left blocked in a write
    writer.Release();
    writer.Join();
    written += writer.BytesWritten();
    if (received && !writer.Succeeded())
        return ::testing::AssertionFailure() << "the writer stopped after " << writer.BytesWritten() << " bytes";
    return received;
}

TEST_F(ReconnectSoak, HundredWritersInTurnAreEachReceivedWholeAndInOrderWithEmptyBlocksOnlyAtDepartures)
{
    ASSERT_TRUE(WarmUp(tuner, CHANNEL));
    const Figures start = Figures::Take();
    PrintFigures(SOAK, "start", start);
    ASSERT_TRUE(Counted(start));
    const Stopwatch clock;
    ASSERT_TRUE(tuner->SelectChannel(0, CHANNEL));
    const std::vector<uint64_t> amounts = Amounts(WRITERS, SEED);
    BlockSink sink(tuner, SEED);
    std::vector<uint64_t> departures;
    uint64_t written = 0;     // by the writers' own counts
    for (int k = 0; k < WRITERS; ++k) {
        uint64_t leading = 0;
        // Not SCOPED_TRACE: gtest starts a thread of its own for it, which the count would see.
        ASSERT_TRUE(OneWriter(k, amounts[k], sink, leading, written))
            << "writer " << k << " of " << amounts[k] << " bytes";
        if (k == 0)
            EXPECT_EQ(leading, 0u) << "empty blocks before any writer left";
        else
            departures.push_back(leading);
    }
    departures.push_back(LastDepartureEmpties(sink, CHANNEL));
    tuner->CloseTuner();
    PrintVolume(SOAK, sink.Bytes(), clock.Seconds());
    const uint64_t fewest = *std::min_element(departures.begin(), departures.end());
    const uint64_t most = *std::max_element(departures.begin(), departures.end());
    std::printf("[%s] %d writers, %llu empty blocks at %zu departures (%llu to %llu each)\n", SOAK, WRITERS,
                static_cast<unsigned long long>(sink.EmptyBlocks()), departures.size(),
                static_cast<unsigned long long>(fewest), static_cast<unsigned long long>(most));
    const Figures end = Figures::Take();
    PrintFigures(SOAK, "end", end);

    EXPECT_EQ(sink.Bytes(), written) << "the host's count against the writers' own";
    EXPECT_LE(most, MAX_READS_IN_FLIGHT) << "a departure yields at most one empty block per read in flight";
    EXPECT_GT(most, 0u) << "departures must show as empty blocks";
    EXPECT_EQ(end.handles, start.handles);
    EXPECT_EQ(end.threads, start.threads);
}

}  // namespace
