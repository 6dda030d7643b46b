// The driver next to another process: one that has a channel open of its own,
// one that holds the in-use mutex, and one that exits with its channel open.
#include <gtest/gtest.h>
#include <cstdio>
#include "failure_fixture.h"
#include "holder_process.h"
#include "pipe_writer.h"
#include "wait_until.h"

namespace {

constexpr DWORD HELD_CHANNEL = 3;
constexpr DWORD FREE_CHANNEL = 4;
constexpr DWORD NO_SUCH_CHANNEL = 10;
const char PIPE_ERROR_LINE[] = "Zelmoor: CBonTuner::OpenTuner() CreateNamedPipe error\n";
constexpr DWORD WORKER_STOP_WAIT_MS = 1000;     // the driver's wait for a worker: an exit that waits takes it
constexpr uint64_t ENDLESS = 1ull << 40;        // the exit ends the writer
constexpr uint64_t FLOWING_BYTES = 16ull << 20; // well past what the pipe and ring hold untaken
constexpr DWORD FLOWING_MS = 30000;
constexpr DWORD MAX_WRITE = 64 * 1024;

class OtherProcess : public FailureTest {};

TEST_F(OtherProcess, ChannelHeldElsewhereFailsAtStepOneAnotherChannelOpensAndBothStayInUseUntilBothClose)
{
    HolderProcess holder;
    ASSERT_EQ(holder.Start(L"channel 3"), "open");
    EXPECT_TRUE(tuner->IsTunerInUse()) << "the other process's channel makes the tuner in use here";
    EXPECT_FALSE(tuner->SelectChannel(0, HELD_CHANNEL));
    EXPECT_EQ(capture.Lines(), LinesOf({PIPE_ERROR_LINE, ErrorStepLine(1).c_str()}));
    EXPECT_EQ(tuner->QueryCurrentChannel(), NO_CHANNEL);
    ASSERT_TRUE(tuner->SelectChannel(0, FREE_CHANNEL));
    EXPECT_EQ(holder.Ask("close"), "closed");
    EXPECT_TRUE(tuner->IsTunerInUse()) << "our own channel is still open";
    EXPECT_EQ(holder.Ask("inuse"), "1") << "our channel makes the tuner in use there";
    tuner->CloseTuner();
    EXPECT_FALSE(tuner->IsTunerInUse());
    EXPECT_EQ(holder.Ask("inuse"), "0");
}

TEST_F(OtherProcess, MutexHeldElsewhereDoesNotStopAnOpenAndOutlivesOurClose)
{
    HolderProcess holder;
    ASSERT_EQ(holder.Start(L"mutex"), "held");
    EXPECT_TRUE(tuner->IsTunerInUse());
    EXPECT_TRUE(SelectAndStream(tuner, FREE_CHANNEL, 4));
    tuner->CloseTuner();
    EXPECT_TRUE(capture.Lines().empty()) << capture.Joined();
    EXPECT_TRUE(InUseMutexExists()) << "our close destroyed the other process's mutex";
    EXPECT_EQ(holder.Ask("release"), "1") << "the other process must still own its mutex";
}

// Milliseconds from the word to exit until the holder has gone; 0 when it did not go.
ULONGLONG MillisecondsToExit(HolderProcess& holder, DWORD& exitCode)
{
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(holder.Ask("exit"), "");
    if (!holder.WaitForExit(HOLDER_REPLY_MS, exitCode))
        return 0;
    return GetTickCount64() - start;
}

// The same exit with the driver loaded and no channel open: what an exit takes here now.
ULONGLONG IdleExitMilliseconds()
{
    HolderProcess idle;
    if (idle.Start(L"channel " + std::to_wstring(NO_SUCH_CHANNEL)) != "refused")
        return 0;
    DWORD exitCode = 1;
    return MillisecondsToExit(idle, exitCode);
}

TEST_F(OtherProcess, ProcessThatExitsWithItsChannelOpenEndsAtOnceAndLeavesNothing)
{
    const ULONGLONG reference = IdleExitMilliseconds();
    ASSERT_GT(reference, 0u) << "the idle holder did not exit";
    DWORD exitCode = 1;
    HolderProcess holder;
    ASSERT_EQ(holder.Start(L"channel 3"), "open");
    const ULONGLONG took = MillisecondsToExit(holder, exitCode);
    ASSERT_GT(took, 0u) << "the holder did not exit";
    std::printf("  exit with a channel open took %llu ms, without one %llu ms\n", took, reference);
    EXPECT_LT(took, reference + WORKER_STOP_WAIT_MS) << "the unload at exit waited for the workers";
    EXPECT_EQ(exitCode, 0u);
    EXPECT_FALSE(PipeExists(HELD_CHANNEL));
    EXPECT_FALSE(InUseMutexExists());
}

// The exit ends the host's streaming thread and both workers mid-read; the
// unload at exit must neither crash nor wait for them.
TEST_F(OtherProcess, ProcessThatExitsWhileItsHostTakesAndAWriterSendsEndsAtOnceAndLeavesNothing)
{
    // Wine sometimes ends an exiting process's other threads only after the workers'
    // 1 s wait has run out (about 1 run in 5, either bitness); Windows ends them first.
    if (GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr)
        GTEST_SKIP() << "Wine ends the threads of an exiting process late, now and then";
    const ULONGLONG reference = IdleExitMilliseconds();
    ASSERT_GT(reference, 0u) << "the idle holder did not exit";
    StreamWriter writer(HELD_CHANNEL, 21, ENDLESS, 1, MAX_WRITE);
    {
        HolderProcess holder;
        ASSERT_EQ(holder.Start(L"channel 3"), "open");
        ASSERT_EQ(holder.Ask("drain"), "draining");
        writer.Start();
        ASSERT_TRUE(WaitUntil([&] { return writer.BytesWritten() > FLOWING_BYTES; }, FLOWING_MS))
            << "only " << writer.BytesWritten() << " bytes went through";
        const ULONGLONG start = GetTickCount64();
        EXPECT_EQ(holder.Ask("exit"), "");
        DWORD exitCode = 1;
        ASSERT_TRUE(holder.WaitForExit(HOLDER_REPLY_MS, exitCode));
        const ULONGLONG took = GetTickCount64() - start;
        std::printf("  exit with reads in flight took %llu ms, without a channel %llu ms; %llu bytes written\n",
                    took, reference, static_cast<unsigned long long>(writer.BytesWritten()));
        EXPECT_LT(took, reference + WORKER_STOP_WAIT_MS) << "the unload at exit waited for the workers";
        EXPECT_EQ(exitCode, 0u) << "the process did not end by its own exit";
    }
    writer.Join();      // fails the test if the writer was left blocked
    EXPECT_FALSE(PipeExists(HELD_CHANNEL));
    EXPECT_FALSE(InUseMutexExists());
    EXPECT_TRUE(ComesBackTo(before));
}

}  // namespace
