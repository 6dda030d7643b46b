// What a careless host can hand the driver: spaces, channels and codes out of
// range in every state, and a copy buffer of exactly one block.
#include <gtest/gtest.h>
#include <vector>
#include "block_sink.h"
#include "failure_fixture.h"
#include "pipe_writer.h"
#include "wait_until.h"

namespace {

constexpr DWORD CHANNEL = 5;
constexpr DWORD BAD_SPACES[] = {1, 2, 0x7FFFFFFF, 0xFFFFFFFF};
constexpr DWORD BAD_CHANNELS[] = {10, 11, 0x80000000, 0xFFFFFFFF};
constexpr BYTE BAD_CODES[] = {0, 12, 23, 100, 255};
constexpr DWORD WAITING_BYTES = 3000;
constexpr DWORD PAGE = 4096;
constexpr DWORD FULL_BLOCKS = 3;

struct Seen {
    DWORD channel, space, ready;
    bool pipe, inUse;
    bool operator==(const Seen& o) const
    {
        return channel == o.channel && space == o.space && ready == o.ready && pipe == o.pipe && inUse == o.inUse;
    }
};

Seen Look(IBonDriver2* tuner)
{
    return {tuner->QueryCurrentChannel(), tuner->QueryCurrentSpace(), tuner->QueryReadyCount(), PipeExists(CHANNEL),
            tuner->IsTunerInUse() != FALSE};
}

::testing::AssertionResult AllRefused(IBonDriver2* tuner)
{
    for (DWORD space : BAD_SPACES)
        if (tuner->SelectChannel(space, CHANNEL) || tuner->EnumChannel(space, CHANNEL) != nullptr)
            return ::testing::AssertionFailure() << "space " << space << " accepted";
    for (DWORD channel : BAD_CHANNELS)
        if (tuner->SelectChannel(0, channel) || tuner->SelectChannel(1, channel))
            return ::testing::AssertionFailure() << "channel " << channel << " accepted";
    for (BYTE code : BAD_CODES)
        if (tuner->SetChannelCode(code))
            return ::testing::AssertionFailure() << "code " << int(code) << " accepted";
    return ::testing::AssertionSuccess();
}

class BadInput : public FailureTest {};

TEST_F(BadInput, OutOfRangeSelectionsChangeNothingClosedOpenOrWithBlocksWaiting)
{
    const Seen closed = Look(tuner);
    EXPECT_TRUE(AllRefused(tuner));
    EXPECT_TRUE(Look(tuner) == closed) << "closed";

    ASSERT_TRUE(tuner->SelectChannel(0, CHANNEL));
    const Seen open = Look(tuner);
    EXPECT_TRUE(AllRefused(tuner));
    EXPECT_TRUE(Look(tuner) == open) << "open";

    PipeWriter writer;
    ASSERT_TRUE(writer.Connect(CHANNEL));
    std::vector<BYTE> data(2 * WAITING_BYTES);
    Pattern(15).Fill(data.data(), data.size());
    ASSERT_TRUE(writer.Write(data.data(), WAITING_BYTES));
    ASSERT_TRUE(WaitUntil([&] { return tuner->QueryReadyCount() > 0; }));
    const Seen waiting = Look(tuner);
    EXPECT_TRUE(AllRefused(tuner));
    EXPECT_TRUE(Look(tuner) == waiting) << "with blocks waiting";
    ASSERT_TRUE(writer.Write(data.data() + WAITING_BYTES, WAITING_BYTES)) << "the writer was dropped";
    BlockSink sink(tuner, 15);
    EXPECT_TRUE(sink.ReceiveBytes(data.size())) << sink.Fault();
    EXPECT_TRUE(capture.Lines().empty()) << capture.Joined();
}

// A block-sized buffer that ends where an inaccessible page begins.
class GuardedBlock {
public:
    GuardedBlock()
    {
        const DWORD pages = (BLOCK_BYTES + PAGE - 1) / PAGE;
        m_base = static_cast<BYTE*>(VirtualAlloc(NULL, (pages + 1) * PAGE, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD old = 0;
        m_guarded = m_base != nullptr && VirtualProtect(m_base + pages * PAGE, PAGE, PAGE_NOACCESS, &old);
        m_data = m_base + pages * PAGE - BLOCK_BYTES;
    }
    ~GuardedBlock() { VirtualFree(m_base, 0, MEM_RELEASE); }
    bool Guarded() const { return m_guarded; }
    BYTE* Data() const { return m_data; }

private:
    BYTE* m_base = nullptr;
    BYTE* m_data = nullptr;
    bool m_guarded = false;
};

TEST_F(BadInput, CopyOfAFullBlockIntoExactlyOneBlockWritesNothingPastIt)
{
    GuardedBlock buffer;
    ASSERT_TRUE(buffer.Guarded());
    ASSERT_TRUE(tuner->SelectChannel(0, CHANNEL));
    StreamWriter writer(CHANNEL, 16, FULL_BLOCKS * BLOCK_BYTES, BLOCK_BYTES, BLOCK_BYTES);
    writer.Start();
    Pattern expected(16);
    DWORD fullBlocks = 0;
    for (uint64_t got = 0; got < FULL_BLOCKS * BLOCK_BYTES;) {
        ASSERT_TRUE(WaitUntil([&] { return tuner->QueryReadyCount() > 0; })) << "stalled at " << got;
        DWORD size = 0, remaining = 0;
        // A copy past the block's end faults on the guard page.
        ASSERT_TRUE(tuner->CopyStream(buffer.Data(), &size, &remaining));
        ASSERT_EQ(expected.Match(buffer.Data(), size), size) << "at " << got;
        fullBlocks += size == BLOCK_BYTES;
        got += size;
    }
    writer.Join();
    EXPECT_GT(fullBlocks, 0u) << "no read delivered a full block";
}

}  // namespace
