// The fuzz's judge: it must accept every honest order of slices and refuse a
// repeated, altered, reordered, misdirected or unexplained-gap block, or the
// fuzz could pass with the driver broken.
#include <gtest/gtest.h>
#include <vector>
#include "block_checker.h"
#include "position_stream.h"

namespace {

constexpr DWORD CHANNEL = 4;
constexpr DWORD OTHER_CHANNEL = 7;
constexpr uint64_t SESSION_BYTES = 100000;

std::vector<unsigned char> Slice(uint32_t session, uint64_t position, size_t size)
{
    std::vector<unsigned char> bytes(size);
    FillStream(session, position, bytes.data(), size);
    return bytes;
}

class Judge : public ::testing::Test {
protected:
    void SetUp() override
    {
        first = sessions.Open(CHANNEL);
        second = sessions.Open(CHANNEL);
        other = sessions.Open(OTHER_CHANNEL);
        for (uint32_t s : {first, second, other})
            sessions.Reserve(s, SESSION_BYTES);
        checker.Dropped(CHANNEL);   // as the select that opens the channel does
    }
    bool Take(uint32_t session, uint64_t position, size_t size, DWORD channel = CHANNEL)
    {
        const std::vector<unsigned char> bytes = Slice(session, position, size);
        return checker.Check(channel, bytes.data(), static_cast<DWORD>(size));
    }
    SessionRegistry sessions{16};
    BlockChecker checker{sessions};
    uint32_t first = 0, second = 0, other = 0;
};

TEST(PositionStream, EveryWordNamesItsSessionAndPlace)
{
    for (uint64_t plain : {0ull, 1ull, 0x123456789ABCDEFull, ~0ull})
        EXPECT_EQ(UnmixWord(MixWord(plain)), plain);
    const std::vector<unsigned char> bytes = Slice(3, 1237, 40);
    for (unsigned offset = 0; offset < WORD_BYTES; ++offset) {
        StreamPlace place = {};
        const bool placed = PlaceByWordAt(bytes.data(), bytes.size(), offset, place);
        if ((1237 + offset) % WORD_BYTES == 0) {
            ASSERT_TRUE(placed) << "the aligned word at offset " << offset;
            EXPECT_EQ(place.session, 3u);
            EXPECT_EQ(place.position, 1237u);
        } else {
            EXPECT_FALSE(placed && place.session == 3 && place.position == 1237)
                << "bytes across two words named the place, at offset " << offset;
        }
    }
    StreamPlace beyond = {};
    EXPECT_FALSE(PlaceByWordAt(bytes.data(), bytes.size(), bytes.size() - WORD_BYTES + 1, beyond));
}

TEST_F(Judge, ContiguousSlicesThenTheNextWriterFromItsStartPassWithoutGaps)
{
    uint64_t at = 0;
    for (size_t size : {15, 16, 48128, 17, 20000}) {
        EXPECT_TRUE(Take(first, at, size)) << checker.Fault();
        at += size;
    }
    EXPECT_TRUE(checker.Check(CHANNEL, nullptr, 0)) << "an empty block is fine anywhere";
    EXPECT_TRUE(Take(second, 0, 5000)) << checker.Fault();
    EXPECT_EQ(checker.Gaps(), 0u);
    EXPECT_EQ(checker.LooseBlocks(), 0u);
}

TEST_F(Judge, RepeatedSliceIsRefused)
{
    ASSERT_TRUE(Take(first, 0, 4000));
    EXPECT_FALSE(Take(first, 2000, 4000));
    EXPECT_NE(checker.Fault().find("duplicated"), std::string::npos) << checker.Fault();
}

TEST_F(Judge, AlteredByteIsRefused)
{
    std::vector<unsigned char> bytes = Slice(first, 0, 4000);
    bytes[1234] ^= 0x10;
    EXPECT_FALSE(checker.Check(CHANNEL, bytes.data(), static_cast<DWORD>(bytes.size())));
}

TEST_F(Judge, EarlierWriterAfterALaterOneIsRefused)
{
    ASSERT_TRUE(Take(second, 0, 100));
    EXPECT_FALSE(Take(first, 0, 100));
}

TEST_F(Judge, GapIsRefusedUnlessTheHostDroppedData)
{
    ASSERT_TRUE(Take(first, 0, 100));
    EXPECT_FALSE(Take(first, 200, 100)) << "bytes left out with nothing dropped";
    BlockChecker after{sessions};
    after.Dropped(CHANNEL);
    const std::vector<unsigned char> a = Slice(first, 0, 100), b = Slice(first, 200, 100);
    ASSERT_TRUE(after.Check(CHANNEL, a.data(), 100));
    after.Dropped(CHANNEL);
    EXPECT_TRUE(after.Check(CHANNEL, b.data(), 100)) << after.Fault();
    EXPECT_EQ(after.Gaps(), 1u);
}

TEST_F(Judge, NextWriterJoinedMidStreamIsRefusedWithNothingDropped)
{
    ASSERT_TRUE(Take(first, 0, 100));
    EXPECT_FALSE(Take(second, 50, 100));
}

TEST_F(Judge, SliceFromAnotherChannelOrPastWhatWasWrittenIsRefused)
{
    EXPECT_FALSE(Take(other, 0, 100));
    EXPECT_NE(checker.Fault().find("written to channel"), std::string::npos) << checker.Fault();
    BlockChecker fresh{sessions};
    fresh.Dropped(CHANNEL);
    const std::vector<unsigned char> beyond = Slice(first, SESSION_BYTES - 10, 100);
    EXPECT_FALSE(fresh.Check(CHANNEL, beyond.data(), 100));
}

// Six bytes do not say where they lie; they must still match a place after the last slice.
TEST_F(Judge, ShortBlockMustLieSomewhereAfterTheLastSlice)
{
    ASSERT_TRUE(Take(first, 0, 1000));
    EXPECT_TRUE(Take(first, 1000, 6)) << checker.Fault();
    EXPECT_EQ(checker.LooseBlocks(), 1u);
    EXPECT_FALSE(Take(first, 10, 6)) << "bytes from before the last slice";
}

}  // namespace
