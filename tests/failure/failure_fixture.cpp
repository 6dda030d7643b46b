#include "failure_fixture.h"
#include "block_sink.h"
#include "pipe_writer.h"
#include "wait_until.h"

namespace {
constexpr DWORD WARM_UP_CHANNEL = 9;
constexpr uint64_t LITTLE_BYTES = 64 * 1024;
constexpr DWORD LITTLE_WRITE = 4096;
}

const char PUSH_FORCED_LINE[] = "Zelmoor: CBonTuner::CloseTuner() ::TerminateThread(m_hPushIoThread)\n";
const char POP_FORCED_LINE[] = "Zelmoor: CBonTuner::CloseTuner() ::TerminateThread(m_hPopIoThread)\n";

std::string ErrorStepLine(DWORD step)
{
    return "Zelmoor: CBonTuner::OpenTuner() dwErrorStep = " + std::to_string(step) + "\n";
}

std::vector<std::string> LinesOf(std::initializer_list<const char*> lines)
{
    return std::vector<std::string>(lines.begin(), lines.end());
}

::testing::AssertionResult SelectAndStream(IBonDriver2* tuner, DWORD channel, uint64_t seed)
{
    if (!tuner->SelectChannel(0, channel))
        return ::testing::AssertionFailure() << "SelectChannel(0, " << channel << ") failed";
    StreamWriter writer(channel, seed, LITTLE_BYTES, 1, LITTLE_WRITE);
    BlockSink sink(tuner, seed);
    writer.Start();
    const bool received = sink.ReceiveBytes(LITTLE_BYTES);
    writer.Join();
    if (!received)
        return ::testing::AssertionFailure() << "channel " << channel << ": " << sink.Fault();
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult IsClosed(IBonDriver2* tuner, DWORD channel)
{
    BYTE* data = nullptr;
    DWORD size = 0, remaining = 0;
    if (tuner->QueryCurrentChannel() != NO_CHANNEL || tuner->QueryCurrentSpace() != 0)
        return ::testing::AssertionFailure() << "channel " << tuner->QueryCurrentChannel() << " still current";
    if (PipeExists(channel))
        return ::testing::AssertionFailure() << "the pipe of channel " << channel << " is still there";
    if (InUseMutexExists() || tuner->IsTunerInUse())
        return ::testing::AssertionFailure() << "the in-use mutex is still there";
    if (tuner->TakeStream(&data, &size, &remaining))
        return ::testing::AssertionFailure() << "a take succeeded";
    const ULONGLONG start = GetTickCount64();
    const DWORD waited = tuner->WaitStream(CLOSED_WAIT_MS);
    if (waited != WAIT_ABANDONED_RESULT || GetTickCount64() - start >= CLOSED_WAIT_MS / 2)
        return ::testing::AssertionFailure() << "WaitStream(" << CLOSED_WAIT_MS << ") gave " << waited << " after "
                                             << GetTickCount64() - start << " ms";
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult ComesBackTo(const Census& before)
{
    if (!Counted(before))
        return Counted(before);
    Census now = {};
    if (WaitUntil([&] {
            now = Census::Take();
            return now.handles == before.handles && now.threads == before.threads;
        }))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "handles " << before.handles << " -> " << now.handles << ", threads "
                                         << before.threads << " -> " << now.threads;
}

void FailureTest::SetUp()
{
    ASSERT_TRUE(module.Load()) << "the driver DLL did not load";
    tuner = module.Create();
    ASSERT_NE(tuner, nullptr);
    // Wine opens some handles of its own on first use of pipes, pipe waits and
    // debugger output, and keeps them.
    ASSERT_TRUE(SelectAndStream(tuner, WARM_UP_CHANNEL, 1));
    tuner->CloseTuner();
    ASSERT_TRUE(IsClosed(tuner, WARM_UP_CHANNEL));
    OutputDebugStringW(L"warm-up\n");
    before = Census::Take();
    ASSERT_TRUE(Counted(before));
    capture.Clear();
}
