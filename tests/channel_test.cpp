// Opening and closing channels of the shipped driver: names, a taken pipe, and
// closing in every state without force and without leaving anything behind.
#include <gtest/gtest.h>
#include <cstdio>
#include <string>
#include "block_sink.h"
#include "census.h"
#include "pipe_writer.h"
#include "tuner_fixture.h"
#include "wait_until.h"

namespace {

constexpr DWORD WAIT_ABANDONED_RESULT = 128;
constexpr uint64_t STREAM_BYTES = 64ull << 20;
constexpr DWORD MAX_WRITE = 64 * 1024;
// The driver's wait for each worker: a close that waits one out, forced or not, takes this long.
constexpr ULONGLONG WORKER_STOP_WAIT_MS = 1000;
const char PIPE_ERROR_LINE[] = "Zelmoor: CBonTuner::OpenTuner() CreateNamedPipe error\n";
const char STEP_ONE_LINE[] = "Zelmoor: CBonTuner::OpenTuner() dwErrorStep = 1\n";

class Channels : public OpenChannelTest {
protected:
    bool SelectsInSetUp() const override { return false; }
};

::testing::AssertionResult IsClosed(IBonDriver2* tuner, DWORD channel)
{
    BYTE* data = nullptr;
    DWORD size = 0, remaining = 0;
    if (tuner->QueryCurrentChannel() != NO_CHANNEL)
        return ::testing::AssertionFailure() << "still on channel " << tuner->QueryCurrentChannel();
    if (PipeExists(channel))
        return ::testing::AssertionFailure() << "pipe " << channel << " still exists";
    if (InUseMutexExists())
        return ::testing::AssertionFailure() << "the in-use mutex still exists";
    if (tuner->WaitStream(0) != WAIT_ABANDONED_RESULT)
        return ::testing::AssertionFailure() << "WaitStream did not answer 128";
    if (tuner->TakeStream(&data, &size, &remaining))
        return ::testing::AssertionFailure() << "TakeStream answered TRUE";
    return ::testing::AssertionSuccess();
}

TEST_F(Channels, EachChannelHasThePipeNamedAfterItsTwoDigitNumber)
{
    for (DWORD channel = 0; channel < CHANNELS; ++channel) {
        SCOPED_TRACE(channel);
        ASSERT_TRUE(tuner->SelectChannel(0, channel));
        EXPECT_EQ(tuner->QueryCurrentChannel(), channel);
        EXPECT_EQ(tuner->QueryCurrentSpace(), 0u);
        PipeWriter writer;
        EXPECT_TRUE(writer.Connect(channel)) << "no pipe named " << std::string(PipeName(channel).begin(), PipeName(channel).end());
        EXPECT_FALSE(PipeExists((channel + 1) % CHANNELS));
    }
    EXPECT_EQ(PipeName(5), L"\\\\.\\pipe\\Zelmoor05");
}

TEST_F(Channels, PipeTakenByAnotherServerFailsWithStepOneAndLeavesTheTunerClosed)
{
    ASSERT_TRUE(tuner->SelectChannel(0, 2));
    HANDLE other = CreateNamedPipeW(PipeName(7).c_str(), PIPE_ACCESS_INBOUND, 0, 1, BLOCK_BYTES, BLOCK_BYTES, 0, NULL);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    capture.Clear();
    EXPECT_FALSE(tuner->SelectChannel(0, 7));
    const std::vector<std::string> lines = capture.Lines();
    ASSERT_EQ(lines.size(), 2u) << capture.Joined();
    EXPECT_EQ(lines[0], PIPE_ERROR_LINE);
    EXPECT_EQ(lines[1], STEP_ONE_LINE);
    EXPECT_TRUE(IsClosed(tuner, 2)) << "the channel open before must be closed too";
    CloseHandle(other);
    EXPECT_TRUE(tuner->SelectChannel(0, 7)) << "the channel works once the pipe is free";
}

enum class WriterState { None, ConnectedIdle, Streaming };

std::string Describe(const ::testing::TestParamInfo<WriterState>& info)
{
    switch (info.param) {
    case WriterState::None: return "NoWriter";
    case WriterState::ConnectedIdle: return "WriterConnectedAndIdle";
    default: return "InTheMiddleOfAFastStream";
    }
}

class CloseWith : public Channels, public ::testing::WithParamInterface<WriterState> {
protected:
    // Wine creates some handles lazily on first use; count after they exist.
    void WarmUp()
    {
        ASSERT_TRUE(tuner->SelectChannel(0, CHANNEL));
        PipeWriter writer;
        ASSERT_TRUE(writer.Connect(CHANNEL));
        tuner->CloseTuner();
    }
};

TEST_P(CloseWith, CloseEndsTheWorkersWithoutForceAndLeavesNothingBehind)
{
    WarmUp();
    const Census before = Census::Take();
    ASSERT_TRUE(Counted(before));
    ASSERT_TRUE(tuner->SelectChannel(0, CHANNEL));
    PipeWriter idle;
    StreamWriter stream(CHANNEL, 1, STREAM_BYTES, 1, MAX_WRITE);
    BlockSink sink(tuner, 1);
    if (GetParam() == WriterState::ConnectedIdle) {
        ASSERT_TRUE(idle.Connect(CHANNEL));
        BYTE first;
        Pattern(1).Fill(&first, 1);
        ASSERT_TRUE(idle.Write(&first, 1));
        ASSERT_TRUE(sink.ReceiveBytes(1)) << "the driver must be reading from the writer";
    } else if (GetParam() == WriterState::Streaming) {
        stream.Start();
        ASSERT_TRUE(sink.ReceiveAtLeast(4ull << 20)) << sink.Fault();
    }
    capture.Clear();
    const ULONGLONG start = GetTickCount64();
    tuner->CloseTuner();
    const ULONGLONG took = GetTickCount64() - start;
    std::printf("  CloseTuner took %llu ms\n", took);
    EXPECT_LT(took, WORKER_STOP_WAIT_MS) << "the close waited a worker out";
    EXPECT_TRUE(capture.Lines().empty()) << capture.Joined();
    EXPECT_TRUE(IsClosed(tuner, CHANNEL));
    stream.Join();
    EXPECT_LT(stream.BytesWritten(), STREAM_BYTES) << "closing must have cut the writer off";
    idle.Close();
    const Census after = Census::Take();
    EXPECT_EQ(after.handles, before.handles);
    EXPECT_EQ(after.threads, before.threads);
}

INSTANTIATE_TEST_SUITE_P(Channels, CloseWith,
                         ::testing::Values(WriterState::None, WriterState::ConnectedIdle, WriterState::Streaming),
                         Describe);

}  // namespace
