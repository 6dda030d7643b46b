// Many opens and closes over every channel, idle, streaming, closed in the
// middle of a stream and reselected: nothing accumulates and nothing is forced.
#include <gtest/gtest.h>
#include <cstdio>
#include <memory>
#include "block_sink.h"
#include "failure_fixture.h"
#include "pipe_writer.h"

namespace {

constexpr int CYCLES = 200;
constexpr uint64_t WHOLE_STREAM_BYTES = 256 * 1024;
constexpr uint64_t ENDLESS_BYTES = 1ull << 40;      // the close ends it
constexpr uint64_t MID_STREAM_BYTES = 200 * 1024;   // taken before the close
constexpr DWORD MAX_WRITE = 64 * 1024;

enum class Cycle { Idle, WholeStream, ClosedMidStream, Reselected, Count };

::testing::AssertionResult RunCycle(IBonDriver2* tuner, DWORD channel, Cycle kind, uint64_t seed)
{
    if (!tuner->SelectChannel(0, channel))
        return ::testing::AssertionFailure() << "SelectChannel(0, " << channel << ") failed";
    std::unique_ptr<StreamWriter> writer;
    BlockSink sink(tuner, seed);
    bool ok = true;
    if (kind == Cycle::WholeStream || kind == Cycle::ClosedMidStream) {
        writer.reset(new StreamWriter(channel, seed, kind == Cycle::WholeStream ? WHOLE_STREAM_BYTES : ENDLESS_BYTES,
                                      1, MAX_WRITE));
        writer->Start();
        ok = sink.ReceiveBytes(kind == Cycle::WholeStream ? WHOLE_STREAM_BYTES : MID_STREAM_BYTES)
             || (kind == Cycle::ClosedMidStream && sink.Bytes() > MID_STREAM_BYTES);
    }
    if (kind == Cycle::Reselected)
        ok = tuner->SelectChannel(0, channel);
    tuner->CloseTuner();
    if (writer)
        writer->Join();
    if (!ok)
        return ::testing::AssertionFailure() << "channel " << channel << ": " << sink.Fault();
    return ::testing::AssertionSuccess();
}

class Churn : public FailureTest {};

TEST_F(Churn, TwoHundredOpensAndClosesOverEveryChannelLeaveTheCensusAsItWas)
{
    std::printf("  before: %ld handles, %ld threads\n", before.handles, before.threads);
    for (int i = 0; i < CYCLES; ++i) {
        const Cycle kind = static_cast<Cycle>(i % static_cast<int>(Cycle::Count));
        ASSERT_TRUE(RunCycle(tuner, static_cast<DWORD>(i) % CHANNELS, kind, static_cast<uint64_t>(i)))
            << "cycle " << i;
    }
    const Census after = Census::Take();
    std::printf("  after %d cycles: %ld handles, %ld threads\n", CYCLES, after.handles, after.threads);
    EXPECT_TRUE(ComesBackTo(before));
    EXPECT_TRUE(capture.Lines().empty()) << capture.Joined();
}

}  // namespace
