// The ring and the hand-out operations over hand-made ready blocks, compiled
// from the driver's own sources.
#include <gtest/gtest.h>
#include <cstring>
#include "ring.h"
#include "tuner.h"

class CTunerProbe {
public:
    explicit CTunerProbe(CBonTuner& tuner) : m_tuner(tuner)
    {
        m_tuner.m_pRing = CreateRing(RING_BLOCKS);
        m_tuner.ResetRing();
    }
    PipeBlock* Block(DWORD index) const { return &m_tuner.m_pRing[index]; }
    PipeBlock* TakeCursor() const { return m_tuner.m_pTakeBlock; }
    PipeBlock* DoneCursor() const { return m_tuner.m_pDoneBlock; }

    // As the pop worker would: the next blocks at the done cursor become ready,
    // each with bytes that differ from every other block's at most offsets.
    void FinishReads(std::initializer_list<DWORD> sizes)
    {
        for (DWORD size : sizes) {
            PipeBlock* block = m_tuner.m_pDoneBlock;
            block->dwBytes = size;
            const DWORD index = static_cast<DWORD>(block - m_tuner.m_pRing);
            for (DWORD i = 0; i < size; ++i)
                block->Data[i] = static_cast<BYTE>(i * 7 + (i >> 8) + index * 101 + 1);
            block->dwState = BLOCK_READY;
            m_tuner.m_pDoneBlock = block->pNext;
            ++m_tuner.m_dwReadyCount;
        }
    }

private:
    CBonTuner& m_tuner;
};

namespace {

BYTE* const DATA_SENTINEL = reinterpret_cast<BYTE*>(0xDEADBEEF);
constexpr DWORD SIZE_SENTINEL = 0xDEADBEEF;

TEST(Ring, BlocksAreZeroedAndLinkedInACircleInArrayOrder)
{
    PipeBlock* ring = CreateRing(RING_BLOCKS);
    ASSERT_NE(ring, nullptr);
    for (DWORD i = 0; i < RING_BLOCKS; ++i) {
        EXPECT_EQ(ring[i].pNext, &ring[(i + 1) % RING_BLOCKS]) << "block " << i;
        EXPECT_EQ(ring[i].dwState, static_cast<DWORD>(BLOCK_IDLE));
        EXPECT_EQ(ring[i].dwBytes, 0u);
        EXPECT_EQ(ring[i].Overlapped.hEvent, nullptr);
        const BYTE* data = ring[i].Data;
        EXPECT_TRUE(std::all_of(data, data + BLOCK_DATA_SIZE, [](BYTE b) { return b == 0; })) << "block " << i;
    }
    FreeRing(ring);
}

TEST(Ring, SingleBlockLinksToItself)
{
    PipeBlock* ring = CreateRing(1);
    ASSERT_NE(ring, nullptr);
    EXPECT_EQ(ring->pNext, ring);
    FreeRing(ring);
}

TEST(Ring, CountsTooLargeToAllocateGiveNull)
{
    // 2^28 blocks: the size truncated to 32 bits is 0, so this also catches size
    // arithmetic done in a DWORD.
    EXPECT_EQ(CreateRing(1u << 28), nullptr);
    EXPECT_EQ(CreateRing(0xFFFFFFFF), nullptr);
    EXPECT_EQ(CreateRing(0), nullptr);
}

class HandOut : public ::testing::Test {
protected:
    CBonTuner* tuner = new CBonTuner;
    CTunerProbe probe{*tuner};
    void TearDown() override { tuner->ReleaseDriver(); }
};

TEST_F(HandOut, ReadyBlocksAreTakenInRingOrderWithFallingRemainder)
{
    probe.FinishReads({100, 48128, 7});
    const DWORD expectedSizes[] = {100, 48128, 7};
    for (DWORD i = 0; i < 3; ++i) {
        BYTE* data = nullptr;
        DWORD size = SIZE_SENTINEL, remaining = SIZE_SENTINEL;
        ASSERT_TRUE(tuner->TakeStream(&data, &size, &remaining));
        EXPECT_EQ(data, probe.Block(i)->Data);
        EXPECT_EQ(size, expectedSizes[i]);
        EXPECT_EQ(remaining, 2 - i);
    }
    EXPECT_EQ(probe.TakeCursor(), probe.Block(3));
    EXPECT_EQ(tuner->QueryReadyCount(), 0u);
}

TEST_F(HandOut, NothingReadyAnswersTrueWithZerosAndLeavesTheDataPointer)
{
    BYTE* data = DATA_SENTINEL;
    DWORD size = SIZE_SENTINEL, remaining = SIZE_SENTINEL;
    EXPECT_TRUE(tuner->TakeStream(&data, &size, &remaining));
    EXPECT_EQ(data, DATA_SENTINEL);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(remaining, 0u);
    EXPECT_EQ(probe.TakeCursor(), probe.Block(0));
}

TEST_F(HandOut, EmptyReadyBlockIsHandedOutAndCopiesNothing)
{
    probe.FinishReads({0, 0});
    BYTE* data = DATA_SENTINEL;
    DWORD size = SIZE_SENTINEL, remaining = SIZE_SENTINEL;
    ASSERT_TRUE(tuner->TakeStream(&data, &size, &remaining));
    EXPECT_EQ(data, probe.Block(0)->Data);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(remaining, 1u);
    BYTE dst[16];
    memset(dst, 0xA5, sizeof(dst));
    ASSERT_TRUE(tuner->CopyStream(dst, &size, &remaining));
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(remaining, 0u);
    EXPECT_TRUE(std::all_of(dst, dst + sizeof(dst), [](BYTE b) { return b == 0xA5; }));
}

TEST_F(HandOut, CopyWritesExactlyTheBlockAndNothingPastIt)
{
    probe.FinishReads({48128, 300});
    static BYTE dst[48128 + 64];
    memset(dst, 0x5A, sizeof(dst));
    DWORD size = SIZE_SENTINEL, remaining = SIZE_SENTINEL;
    ASSERT_TRUE(tuner->CopyStream(dst, &size, &remaining));
    EXPECT_EQ(size, 48128u);
    EXPECT_EQ(memcmp(dst, probe.Block(0)->Data, 48128), 0);
    EXPECT_TRUE(std::all_of(dst + 48128, dst + sizeof(dst), [](BYTE b) { return b == 0x5A; }));
    ASSERT_TRUE(tuner->CopyStream(dst, &size, &remaining));
    EXPECT_EQ(size, 300u);
    EXPECT_EQ(memcmp(dst, probe.Block(1)->Data, 300), 0) << "the second copy must be the second block";
    EXPECT_EQ(memcmp(dst + 300, probe.Block(0)->Data + 300, 48128 - 300), 0)
        << "the second copy must stop at its 300 bytes";
    EXPECT_TRUE(std::all_of(dst + 48128, dst + sizeof(dst), [](BYTE b) { return b == 0x5A; }));
}

TEST_F(HandOut, BlockNotReadyAtTheTakeCursorIsRefused)
{
    probe.FinishReads({10});
    probe.Block(0)->dwState = BLOCK_READING;
    BYTE* data = DATA_SENTINEL;
    DWORD size = SIZE_SENTINEL, remaining = SIZE_SENTINEL;
    EXPECT_FALSE(tuner->TakeStream(&data, &size, &remaining));
    EXPECT_EQ(data, DATA_SENTINEL);
    EXPECT_EQ(tuner->QueryReadyCount(), 1u) << "a refused take must not move anything";
    EXPECT_EQ(probe.TakeCursor(), probe.Block(0));
}

TEST_F(HandOut, PurgeDropsEveryReadyBlock)
{
    probe.FinishReads({1, 2, 3, 4});
    tuner->PurgeStream();
    EXPECT_EQ(tuner->QueryReadyCount(), 0u);
    EXPECT_EQ(probe.TakeCursor(), probe.DoneCursor());
    BYTE* data = DATA_SENTINEL;
    DWORD size = SIZE_SENTINEL, remaining = SIZE_SENTINEL;
    EXPECT_TRUE(tuner->TakeStream(&data, &size, &remaining));
    EXPECT_EQ(size, 0u);
    probe.FinishReads({9});
    ASSERT_TRUE(tuner->TakeStream(&data, &size, &remaining));
    EXPECT_EQ(data, probe.Block(4)->Data) << "after a purge the next ready block follows the dropped ones";
    EXPECT_EQ(size, 9u);
}

TEST_F(HandOut, TakingWrapsFromTheLastBlockToTheFirst)
{
    for (DWORD i = 0; i < RING_BLOCKS - 1; ++i)
        probe.FinishReads({1});
    tuner->PurgeStream();
    probe.FinishReads({5, 6});
    BYTE* data = nullptr;
    DWORD size, remaining;
    ASSERT_TRUE(tuner->TakeStream(&data, &size, &remaining));
    EXPECT_EQ(data, probe.Block(RING_BLOCKS - 1)->Data);
    ASSERT_TRUE(tuner->TakeStream(&data, &size, &remaining));
    EXPECT_EQ(data, probe.Block(0)->Data);
    EXPECT_EQ(size, 6u);
}

}  // namespace
