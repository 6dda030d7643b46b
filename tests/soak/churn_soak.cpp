// A thousand select/close cycles over all ten channels, with no writer, an idle
// writer, a whole stream, a close in the middle of a stream and a close while
// flow control holds the writer: nothing may be left behind and nothing forced.
#include <gtest/gtest.h>
#include <random>
#include <string>
#include "block_sink.h"
#include "held_writer.h"
#include "pipe_writer.h"
#include "soak_common.h"
#include "tuner_fixture.h"
#include "wait_until.h"

namespace {

constexpr int CYCLES = 1000;
constexpr int WARM_WINDOW_CYCLES = 100;     // private bytes are compared from here to the end
constexpr SIZE_T PRIVATE_SLACK_BYTES = 2 * MiB;  // under one ring (86 x 48,128 bytes)
constexpr uint64_t WHOLE_STREAM_MAX = MiB;
constexpr uint64_t MID_STREAM_MAX = 4 * MiB;
constexpr uint64_t ENDLESS_BYTES = 1ull << 40;
constexpr DWORD FILL_TIMEOUT_MS = 10000;
constexpr uint64_t SEED = 0xC4C1E;
constexpr DWORD CONNECT_MS = 5000;
const char SOAK[] = "churn";

enum class Cycle { NoWriter, IdleWriter, WholeStream, MidStream, FlowControlled, Kinds };

const char* Name(Cycle kind)
{
    switch (kind) {
    case Cycle::NoWriter: return "no writer";
    case Cycle::IdleWriter: return "idle writer";
    case Cycle::WholeStream: return "whole stream";
    case Cycle::MidStream: return "mid-stream close";
    default: return "close under flow control";
    }
}

// Every channel meets every kind: ten cycles of one kind, one per channel, then the next.
Cycle KindOf(int cycle)
{
    return static_cast<Cycle>((cycle / CHANNELS) % static_cast<int>(Cycle::Kinds));
}

class ChurnSoak : public OpenChannelTest {
protected:
    bool SelectsInSetUp() const override { return false; }
    ::testing::AssertionResult RunCycle(int cycle);
    ::testing::AssertionResult Drive(Cycle kind, DWORD channel, uint64_t seed);
    ::testing::AssertionResult IdleWriter(DWORD channel, uint64_t seed);
    ::testing::AssertionResult WholeStream(DWORD channel, uint64_t seed);
    ::testing::AssertionResult CutOffStream(DWORD channel, uint64_t seed, bool drain);
    ::testing::AssertionResult IsClosed(DWORD channel);

    std::mt19937_64 random{SEED};
};

::testing::AssertionResult ChurnSoak::RunCycle(int cycle)
{
    const DWORD channel = cycle % CHANNELS;
    const Cycle kind = KindOf(cycle);
    if (!tuner->SelectChannel(0, channel))
        return ::testing::AssertionFailure() << "channel " << channel << " did not open";
    ::testing::AssertionResult driven = Drive(kind, channel, SEED + cycle);
    // Each kind closes while its writer is still there; this one is for a kind that failed early.
    tuner->CloseTuner();
    if (!driven)
        return driven << " (" << Name(kind) << ", channel " << channel << ")";
    return IsClosed(channel) << " (" << Name(kind) << ", channel " << channel << ")";
}

::testing::AssertionResult ChurnSoak::Drive(Cycle kind, DWORD channel, uint64_t seed)
{
    switch (kind) {
    case Cycle::NoWriter: tuner->CloseTuner(); return ::testing::AssertionSuccess();
    case Cycle::IdleWriter: return IdleWriter(channel, seed);
    case Cycle::WholeStream: return WholeStream(channel, seed);
    case Cycle::MidStream: return CutOffStream(channel, seed, true);
    default: return CutOffStream(channel, seed, false);
    }
}

// Connected and read from, then silent when the channel closes.
::testing::AssertionResult ChurnSoak::IdleWriter(DWORD channel, uint64_t seed)
{
    PipeWriter writer;
    if (!writer.Connect(channel))
        return ::testing::AssertionFailure() << "the writer could not connect";
    BYTE first;
    Pattern(seed).Fill(&first, 1);
    BlockSink sink(tuner, seed);
    if (!writer.Write(&first, 1) || !sink.ReceiveBytes(1))
        return ::testing::AssertionFailure() << "one byte did not arrive: " << sink.Fault();
    tuner->CloseTuner();
    BYTE next = 0;
    if (writer.Write(&next, 1))
        return ::testing::AssertionFailure() << "the writer's connection outlived the close";
    return ::testing::AssertionSuccess();
}

// A writer that sends everything and leaves; the driver is listening again at the close.
::testing::AssertionResult ChurnSoak::WholeStream(DWORD channel, uint64_t seed)
{
    const uint64_t bytes = std::uniform_int_distribution<uint64_t>(1, WHOLE_STREAM_MAX)(random);
    HeldWriter writer(channel, seed, bytes, 1, MAX_WRITE, CONNECT_MS);
    BlockSink sink(tuner, seed);
    writer.Start();
    writer.Release();   // leaves once it has written all
    const bool received = sink.ReceiveBytes(bytes);
    if (!received)
        tuner->CloseTuner();    // cuts off a writer left blocked in a write
    writer.Join();
    tuner->CloseTuner();        // after the writer has left
    if (!received)
        return ::testing::AssertionFailure() << sink.Fault();
    if (!writer.Succeeded())
        return ::testing::AssertionFailure() << "the writer failed after " << writer.BytesWritten() << " bytes";
    return ::testing::AssertionSuccess();
}

// A writer that would go on for ever: the host takes part of it, or nothing until
// the ring is at the high water, and the close must cut the writer off.
::testing::AssertionResult ChurnSoak::CutOffStream(DWORD channel, uint64_t seed, bool drain)
{
    HeldWriter writer(channel, seed, ENDLESS_BYTES, 1, MAX_WRITE, CONNECT_MS);
    BlockSink sink(tuner, seed);
    writer.Start();
    writer.Release();
    bool reached;
    if (drain)
        reached = sink.ReceiveAtLeast(std::uniform_int_distribution<uint64_t>(1, MID_STREAM_MAX)(random));
    else
        reached = WaitUntil([&] { return tuner->QueryReadyCount() >= HIGH_WATER; }, FILL_TIMEOUT_MS);
    const DWORD ready = tuner->QueryReadyCount();
    tuner->CloseTuner();
    writer.Join();
    if (!reached)
        return ::testing::AssertionFailure() << "the stream did not get going: " << sink.Fault() << ", ready "
                                             << ready;
    if (writer.Succeeded())
        return ::testing::AssertionFailure() << "closing did not cut the writer off";
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult ChurnSoak::IsClosed(DWORD channel)
{
    if (tuner->QueryCurrentChannel() != NO_CHANNEL)
        return ::testing::AssertionFailure() << "still on channel " << tuner->QueryCurrentChannel();
    if (PipeExists(channel))
        return ::testing::AssertionFailure() << "the pipe is still there";
    if (InUseMutexExists())
        return ::testing::AssertionFailure() << "the in-use mutex is still there";
    if (tuner->WaitStream(STREAM_WAIT_MS) != WAIT_ABANDONED_RESULT)
        return ::testing::AssertionFailure() << "WaitStream did not answer 128";
    return ::testing::AssertionSuccess();
}

TEST_F(ChurnSoak, ThousandSelectCloseCyclesOverAllChannelsLeaveNoHandleThreadOrMemoryBehind)
{
    for (int kind = 0; kind < static_cast<int>(Cycle::Kinds); ++kind)
        ASSERT_TRUE(RunCycle(kind * CHANNELS)) << "warm-up";
    const Figures start = Figures::Take();
    PrintFigures(SOAK, "start", start);
    ASSERT_TRUE(Counted(start));
    capture.Clear();
    const Stopwatch clock;
    Figures warm = start;
    for (int cycle = 0; cycle < CYCLES; ++cycle) {
        ASSERT_TRUE(RunCycle(cycle)) << "cycle " << cycle;
        if (cycle + 1 == WARM_WINDOW_CYCLES) {
            warm = Figures::Take();
            PrintFigures(SOAK, "after the warm-up window", warm);
        }
    }
    std::printf("[%s] %d cycles in %.1f s\n", SOAK, CYCLES, clock.Seconds());
    const Figures end = Figures::Take();
    PrintFigures(SOAK, "end", end);

    EXPECT_EQ(end.handles, start.handles);
    EXPECT_EQ(end.threads, start.threads);
    EXPECT_LE(end.privateBytes, warm.privateBytes + PRIVATE_SLACK_BYTES)
        << "private bytes grew from " << warm.privateBytes << " to " << end.privateBytes;
    EXPECT_TRUE(capture.Lines().empty()) << "no close may need force: " << capture.Joined();
}

}  // namespace
