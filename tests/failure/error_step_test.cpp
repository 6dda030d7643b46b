// Each step of opening a channel made to fail inside the shipped DLL, by
// replacing one of its imports: the step is logged, the tuner ends up closed
// with nothing left behind, and the next open works. A worker whose resume
// failed is left to the close, which waits for it, ends it by force and says so.
#include <gtest/gtest.h>
#include "block_sink.h"
#include "failing_call.h"
#include "failure_fixture.h"
#include "pipe_writer.h"
#include "wait_until.h"

namespace {

constexpr DWORD CHANNEL = 2;
constexpr LONG CONNECT_EVENT_CALL = 2;      // after the ready event, the push worker's own
constexpr LONG FIRST_READ_EVENT_CALL = 3;
constexpr uint64_t SECOND_WRITER_BYTES = 1 << 20;
constexpr DWORD SECOND_WRITE_MAX = 64 * 1024;
constexpr DWORD STOP_WAIT_MS = 1000;        // the close's wait for a worker
constexpr DWORD EARLY_MS = 50;              // the platform's waits may end a little early
constexpr DWORD SELECT_MARGIN_MS = 1500;

struct StepCase {
    const char* name;
    Import import;
    LONG failOn;
    DWORD step;
    long workersAtFailure;      // worker threads that existed when the call failed
    const char* forcedLine;     // the close's line for a worker it had to end, if any
};

const StepCase STEP_CASES[] = {
    {"ReadyEvent", Import::CreateEventW, 1, 2, 0, nullptr},
    {"PushWorkerCreation", Import::CreateThread, 1, 3, 0, nullptr},
    {"PopWorkerCreation", Import::CreateThread, 2, 3, 1, nullptr},
    {"PushWorkerResume", Import::ResumeThread, 1, 4, 2, PUSH_FORCED_LINE},
    {"PopWorkerResume", Import::ResumeThread, 2, 4, 2, POP_FORCED_LINE},
    {"InUseMutexWithBothWorkersRunning", Import::CreateMutexW, 1, 5, 2, nullptr},
};

std::vector<std::string> ExpectedLines(const StepCase& c)
{
    std::vector<std::string> lines{ErrorStepLine(c.step)};
    if (c.forcedLine != nullptr)
        lines.push_back(c.forcedLine);
    return lines;
}

void PrintTo(const StepCase& c, std::ostream* os)
{
    *os << c.name;
}

class ErrorStep : public FailureTest, public ::testing::WithParamInterface<StepCase> {};

TEST_P(ErrorStep, IsLoggedLeavesTheTunerClosedWithNothingBehindAndTheNextOpenStreams)
{
    const StepCase& c = GetParam();
    FailingCall failing(module.Handle(), c.import, c.failOn);
    ASSERT_TRUE(failing.Applied());
    const ULONGLONG start = GetTickCount64();
    EXPECT_FALSE(tuner->SelectChannel(0, CHANNEL));
    const ULONGLONG took = GetTickCount64() - start;
    ASSERT_EQ(FailingCall::Failures(), 1) << ImportName(c.import) << " was not called " << c.failOn << " times";
    EXPECT_EQ(FailingCall::ThreadsAtFailure(), before.threads + c.workersAtFailure);
    EXPECT_EQ(capture.Lines(), ExpectedLines(c));
    if (c.forcedLine != nullptr) {
        EXPECT_GE(took, STOP_WAIT_MS - EARLY_MS) << "the worker left suspended was not waited for";
        EXPECT_LE(took, STOP_WAIT_MS + SELECT_MARGIN_MS);
    }
    EXPECT_TRUE(IsClosed(tuner, CHANNEL));
    EXPECT_TRUE(ComesBackTo(before));
    failing.Restore();
    EXPECT_TRUE(SelectAndStream(tuner, CHANNEL, c.failOn + c.step));
    tuner->CloseTuner();
    EXPECT_TRUE(ComesBackTo(before));
}

INSTANTIATE_TEST_SUITE_P(EachStep, ErrorStep, ::testing::ValuesIn(STEP_CASES),
                         [](const ::testing::TestParamInfo<StepCase>& info) { return info.param.name; });

class WorkerEvent : public FailureTest {};

TEST_F(WorkerEvent, ConnectEventThatCannotBeMadeIsToleratedAndTheChannelStreams)
{
    FailingCall failing(module.Handle(), Import::CreateEventW, CONNECT_EVENT_CALL);
    ASSERT_TRUE(failing.Applied());
    EXPECT_TRUE(SelectAndStream(tuner, CHANNEL, 5));
    EXPECT_EQ(FailingCall::Failures(), 1);
    tuner->CloseTuner();
    failing.Restore();
    EXPECT_TRUE(capture.Lines().empty()) << capture.Joined();
    EXPECT_TRUE(ComesBackTo(before));
}

TEST_F(WorkerEvent, ReadEventThatCannotBeMadeDropsTheWriterAndTheNextWriterIsRead)
{
    FailingCall failing(module.Handle(), Import::CreateEventW, FIRST_READ_EVENT_CALL);
    ASSERT_TRUE(failing.Applied());
    ASSERT_TRUE(tuner->SelectChannel(0, CHANNEL));
    {
        PipeWriter dropped;
        ASSERT_TRUE(dropped.Connect(CHANNEL));
        ASSERT_TRUE(WaitUntil([] { return FailingCall::Failures() == 1; })) << "no read was started";
        BYTE byte = 0;
        EXPECT_TRUE(WaitUntil([&] { return !dropped.Write(&byte, 1); })) << "the first writer must be dropped";
    }
    StreamWriter next(CHANNEL, 6, SECOND_WRITER_BYTES, 1, SECOND_WRITE_MAX);
    BlockSink sink(tuner, 6);
    next.Start();
    EXPECT_TRUE(sink.ReceiveBytes(SECOND_WRITER_BYTES)) << sink.Fault();
    next.Join();
    EXPECT_TRUE(next.Succeeded());
    tuner->CloseTuner();
    failing.Restore();
    EXPECT_TRUE(capture.Lines().empty()) << capture.Joined();
    EXPECT_TRUE(ComesBackTo(before));
}

}  // namespace
