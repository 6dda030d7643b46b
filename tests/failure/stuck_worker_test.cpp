// Workers that do not end when the channel closes: each is ended by force and
// logged, the close takes about the one-second wait per worker, the lock stays
// usable, and nothing is written into the ring once it is freed.
#include <gtest/gtest.h>
#include <cstdio>
#include "block_sink.h"
#include "failure_fixture.h"
#include "pipe_writer.h"
#include "ring_watch.h"
#include "wait_until.h"
#include "worker_stall.h"

namespace {

constexpr DWORD CHANNEL = 3;
constexpr DWORD STOP_WAIT_MS = 1000;       // the driver's wait for each worker
constexpr DWORD EARLY_MS = 50;             // the platform's waits may end a little early
constexpr DWORD LATE_WRITE_WATCH_MS = 500;
constexpr DWORD IDLE_WRITER_BYTES = 100000;
constexpr DWORD LOCK_PROBE_MS = 1000;

// A push worker ended by force cannot close its own connect event; the one
// handle it had is lost with it.
constexpr long PUSH_FORCED_LEAKS = 1;

struct StallCase {
    const char* name;
    StallIn where;
    Worker stalled;
    bool writerConnected;
    std::vector<std::string> lines;     // what the close must log, in order
};

void PrintTo(const StallCase& c, std::ostream* os)
{
    *os << c.name;
}

const StallCase STALL_CASES[] = {
    // The platform cancels a killed thread's reads, so the pop worker still ends by itself.
    {"PushInSleepWithReadsInFlight", StallIn::Sleep, Worker::Push, true, LinesOf({PUSH_FORCED_LINE})},
    {"PushInSleepWhileListening", StallIn::Sleep, Worker::Push, false, LinesOf({PUSH_FORCED_LINE})},
    {"PopInSleep", StallIn::Sleep, Worker::Pop, true, LinesOf({POP_FORCED_LINE})},
    // The other worker then waits for the lock, and is ended by force too.
    {"PushHoldingTheLock", StallIn::Lock, Worker::Push, true, LinesOf({PUSH_FORCED_LINE, POP_FORCED_LINE})},
    {"PopHoldingTheLock", StallIn::Lock, Worker::Pop, true, LinesOf({PUSH_FORCED_LINE, POP_FORCED_LINE})},
};

// A writer that sent a little, was read, and now idles with reads in flight.
::testing::AssertionResult ConnectIdleWriter(IBonDriver2* tuner, PipeWriter& writer)
{
    if (!writer.Connect(CHANNEL))
        return ::testing::AssertionFailure() << "the writer did not connect";
    std::vector<BYTE> data(IDLE_WRITER_BYTES);
    Pattern(8).Fill(data.data(), data.size());
    if (!writer.Write(data.data(), IDLE_WRITER_BYTES))
        return ::testing::AssertionFailure() << "the writer could not write";
    BlockSink sink(tuner, 8);
    if (!sink.ReceiveBytes(IDLE_WRITER_BYTES))
        return ::testing::AssertionFailure() << sink.Fault();
    return ::testing::AssertionSuccess();
}

DWORD WINAPI PurgeOnce(LPVOID tuner)
{
    static_cast<IBonDriver2*>(tuner)->PurgeStream();
    return 0;
}

// PurgeStream takes m_csLock even on a closed tuner; a lock left owned never returns.
::testing::AssertionResult LockIsFree(IBonDriver2* tuner)
{
    HANDLE probe = CreateThread(NULL, 0, PurgeOnce, tuner, 0, NULL);
    const bool returned = WaitForSingleObject(probe, LOCK_PROBE_MS) == WAIT_OBJECT_0;
    if (!returned)
        TerminateThread(probe, 0);
    CloseHandle(probe);
    if (returned)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "a take under m_csLock hangs after the forced end";
}

class StuckWorker : public FailureTest, public ::testing::WithParamInterface<StallCase> {};

TEST_P(StuckWorker, IsEndedByForceInTimeLeavesTheLockFreeAndTheFreedRingUntouched)
{
    const StallCase& c = GetParam();
    WorkerStall stall(module.Handle(), c.where);
    ASSERT_TRUE(stall.Applied());
    const Census baseline = Census::Take();     // the stall's own events included
    ASSERT_TRUE(Counted(baseline));
    ASSERT_TRUE(tuner->SelectChannel(0, CHANNEL));
    PipeWriter writer;
    if (c.writerConnected) {
        ASSERT_TRUE(ConnectIdleWriter(tuner, writer));
    }
    RingWatch ring(module.Handle());
    ASSERT_TRUE(ring.Applied());
    ASSERT_TRUE(stall.Stall(c.stalled)) << "the worker never reached the stalling call";

    const ULONGLONG start = GetTickCount64();
    tuner->CloseTuner();
    const ULONGLONG took = GetTickCount64() - start;
    std::printf("  CloseTuner took %llu ms\n", took);

    const ULONGLONG forced = c.lines.size();
    EXPECT_GE(took, forced * STOP_WAIT_MS - EARLY_MS);
    // One more whole wait is the fault: a worker that had ended waited for, or a forced end
    // that never finished. Anything short of it is the machine.
    EXPECT_LT(took, (forced + 1) * STOP_WAIT_MS);
    EXPECT_EQ(capture.Lines(), c.lines);
    EXPECT_TRUE(IsClosed(tuner, CHANNEL));
    EXPECT_TRUE(LockIsFree(tuner));
    ASSERT_TRUE(ring.RingFreed());
    EXPECT_FALSE(WaitUntil([&] { return !ring.Untouched(); }, LATE_WRITE_WATCH_MS))
        << "something wrote into the ring after it was freed";
    writer.Close();
    const bool pushForced = c.lines.front() == PUSH_FORCED_LINE;
    EXPECT_TRUE(ComesBackTo({baseline.handles + (pushForced ? PUSH_FORCED_LEAKS : 0), baseline.threads}));
    stall.Restore();
    capture.Clear();
    EXPECT_TRUE(SelectAndStream(tuner, CHANNEL, 9));
    tuner->CloseTuner();
    EXPECT_TRUE(capture.Lines().empty()) << capture.Joined();
}

INSTANTIATE_TEST_SUITE_P(EachStall, StuckWorker, ::testing::ValuesIn(STALL_CASES),
                         [](const ::testing::TestParamInfo<StallCase>& info) { return info.param.name; });

}  // namespace
