// Flow control as the writer and the host see it: with the host taking nothing,
// reading stops at the high water for as long as it stays there; once the host
// has drained, reading resumes one whole pause after the last pass that saw it.
#include <gtest/gtest.h>
#include <cstdio>
#include <functional>
#include "pipe_writer.h"
#include "tuner_fixture.h"
#include "wait_until.h"

namespace {

constexpr DWORD HIGH_WATER = 70;
constexpr DWORD MOST_READY = 85;
constexpr uint64_t ENDLESS = 1ull << 40;    // the close ends the writer
constexpr DWORD FILL_MS = 20000;
constexpr DWORD PAUSE_MS = 2500;            // 25 passes of 100 ms
constexpr DWORD PASS_MS = 100;
constexpr DWORD SETTLED_MS = 300;           // reads in flight finish at once while the writer has data
constexpr int SETTLE_TRIES = 20;
constexpr DWORD HOLD_MS = PAUSE_MS + 500;   // past one pause: each pass that sees the high water starts it anew
constexpr DWORD EARLY_MS = 50;
constexpr DWORD RESUME_WATCH_MS = PAUSE_MS + 10000;

class Pause : public OpenChannelTest {};

bool StaysAt(const std::function<DWORD()>& value, DWORD periodMs)
{
    const DWORD first = value();
    return !WaitUntil([&] { return value() != first; }, periodMs);
}

// Takes every ready block; false when the driver refuses.
bool DrainAll(IBonDriver2* tuner)
{
    for (;;) {
        BYTE* data = nullptr;
        DWORD size = 0, remaining = 0;
        if (!tuner->TakeStream(&data, &size, &remaining))
            return false;
        if (data == nullptr || remaining == 0)
            return true;
    }
}

TEST_F(Pause, ReadingStopsAtTheHighWaterAndResumesOnePauseAfterTheLastPassThatSawIt)
{
    StreamWriter writer(CHANNEL, 13, ENDLESS, BLOCK_BYTES, BLOCK_BYTES);
    writer.Start();
    auto ready = [&] { return tuner->QueryReadyCount(); };
    ASSERT_TRUE(WaitUntil([&] { return ready() >= HIGH_WATER; }, FILL_MS)) << "only " << ready() << " ready";
    bool settled = false;
    for (int i = 0; i < SETTLE_TRIES && !settled; ++i)
        settled = StaysAt(ready, SETTLED_MS);
    ASSERT_TRUE(settled) << "the ready count never settled";
    const DWORD held = ready();
    EXPECT_GE(held, HIGH_WATER);
    EXPECT_LE(held, MOST_READY);
    EXPECT_TRUE(StaysAt(ready, HOLD_MS)) << "reading went on at " << held << " ready blocks";

    const ULONGLONG drainStart = GetTickCount64();
    ASSERT_TRUE(DrainAll(tuner));
    ASSERT_EQ(ready(), 0u) << "a block arrived during the drain: reading had not stopped";
    ASSERT_TRUE(WaitUntil([&] { return ready() > 0; }, RESUME_WATCH_MS)) << "reading never resumed";
    const ULONGLONG resumed = GetTickCount64();
    std::printf("  %lu ready held; reading resumed %llu ms after the drain began\n",
                static_cast<unsigned long>(held), resumed - drainStart);

    // The last pass that saw the high water came at most one pass before the drain began.
    EXPECT_GE(resumed - drainStart, PAUSE_MS - PASS_MS - EARLY_MS) << "the pause was cut short";
    // A second whole pause, or one begun anew on the drained ring, ends no sooner than this.
    EXPECT_LT(resumed - drainStart, 2 * PAUSE_MS - PASS_MS - EARLY_MS) << "the pause overran";
    tuner->CloseTuner();
    writer.Join();
}

}  // namespace
