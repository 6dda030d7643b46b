// The host's one wake-up on an open channel: WaitStream(0) sleeps until a block
// is collected, every collected block signals once, a wait clears the signal,
// and a limited wait with nothing coming times out after its time.
#include <gtest/gtest.h>
#include <cstdio>
#include "pattern.h"
#include "pipe_writer.h"
#include "tuner_fixture.h"
#include "watched_wait.h"

namespace {

constexpr DWORD WAIT_SIGNALLED = 0;
constexpr DWORD WAIT_TIMED_OUT = 258;
constexpr DWORD UNLIMITED = 0;
constexpr DWORD WATCHDOG_MS = 10000;        // far beyond any collection
constexpr DWORD STILL_WAITING_MS = 1000;    // an unlimited wait with nothing sent is still asleep
constexpr DWORD SHORT_WAIT_MS = 300;
constexpr DWORD BRIEF_WAIT_MS = 50;
constexpr DWORD EARLY_MS = 20;              // the platform's waits may end a little early
constexpr DWORD LATE_MS = 1000;             // room for a loaded machine
constexpr DWORD LITTLE = 1000;              // one write this small is read whole, as one block
constexpr DWORD BLOCKS = 3;

class WakeUp : public OpenChannelTest {
protected:
    // One small write; its own pattern, so each block can be told apart.
    ::testing::AssertionResult Send(PipeWriter& writer, uint64_t seed)
    {
        BYTE data[LITTLE];
        Pattern(seed).Fill(data, sizeof(data));
        if (writer.Write(data, sizeof(data)))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "the writer could not write";
    }

    // Runs a wait under a watchdog; false (with the reason) when it hangs.
    ::testing::AssertionResult WaitsFor(DWORD timeoutMs, DWORD expected, ULONGLONG* took = nullptr)
    {
        WatchedWait wait(tuner, timeoutMs);
        if (!wait.Returned(timeoutMs == UNLIMITED ? WATCHDOG_MS : timeoutMs + WATCHDOG_MS))
            return ::testing::AssertionFailure() << "WaitStream(" << timeoutMs << ") never returned";
        if (took != nullptr)
            *took = wait.TookMs();
        if (wait.Result() != expected)
            return ::testing::AssertionFailure() << "WaitStream(" << timeoutMs << ") gave " << wait.Result()
                                                 << " after " << wait.TookMs() << " ms, not " << expected;
        return ::testing::AssertionSuccess();
    }
};

TEST_F(WakeUp, UnlimitedWaitSleepsUntilABlockIsCollectedThenAnswersSignalled)
{
    PipeWriter writer;
    ASSERT_TRUE(writer.Connect(CHANNEL));
    WatchedWait wait(tuner, UNLIMITED);
    EXPECT_FALSE(wait.Returned(STILL_WAITING_MS))
        << "WaitStream(0) gave " << wait.Result() << " after " << wait.TookMs() << " ms with nothing sent";
    ASSERT_TRUE(Send(writer, 1));
    ASSERT_TRUE(wait.Returned(WATCHDOG_MS)) << "WaitStream(0) slept on after a block was collected";
    EXPECT_EQ(wait.Result(), WAIT_SIGNALLED);
    EXPECT_EQ(tuner->QueryReadyCount(), 1u);
}

// Each block wakes the host even while earlier ones are still waiting to be
// taken; the wait clears the signal, so nothing is left to wake it after.
TEST_F(WakeUp, EveryCollectedBlockWakesOnceAndTheWaitClearsTheSignal)
{
    PipeWriter writer;
    ASSERT_TRUE(writer.Connect(CHANNEL));
    for (DWORD i = 1; i <= BLOCKS; ++i) {
        SCOPED_TRACE(i);
        ASSERT_TRUE(Send(writer, i));
        ASSERT_TRUE(WaitsFor(WATCHDOG_MS, WAIT_SIGNALLED)) << "block " << i << " gave no wake-up";
        EXPECT_EQ(tuner->QueryReadyCount(), i);
    }
    EXPECT_TRUE(WaitsFor(SHORT_WAIT_MS, WAIT_TIMED_OUT)) << "a wake-up with no new block: the signal stayed set";
    for (DWORD i = 1; i <= BLOCKS; ++i) {
        BYTE* data = nullptr;
        DWORD size = 0, remaining = 0;
        ASSERT_TRUE(tuner->TakeStream(&data, &size, &remaining));
        ASSERT_EQ(size, LITTLE) << "one small write must be one block";
        EXPECT_EQ(Pattern(i).Match(data, size), size) << "block " << i;
        EXPECT_EQ(remaining, BLOCKS - i);
    }
    EXPECT_TRUE(WaitsFor(SHORT_WAIT_MS, WAIT_TIMED_OUT)) << "taking blocks must not signal";
}

TEST_F(WakeUp, LimitedWaitWithNoWriterTimesOutAfterItsTime)
{
    for (DWORD timeoutMs : {BRIEF_WAIT_MS, SHORT_WAIT_MS}) {
        SCOPED_TRACE(timeoutMs);
        ULONGLONG took = 0;
        EXPECT_TRUE(WaitsFor(timeoutMs, WAIT_TIMED_OUT, &took));
        std::printf("  WaitStream(%lu) took %llu ms\n", static_cast<unsigned long>(timeoutMs), took);
        EXPECT_GE(took, timeoutMs - EARLY_MS);
        EXPECT_LE(took, timeoutMs + LATE_MS);
    }
}

}  // namespace
