// Alignment of streams that start mid-packet, carry junk or resume mid-packet:
// only whole packets pass, in order, and every byte left out is counted.
#include <gtest/gtest.h>

#include "ts_aligner.h"

#include <cstdint>
#include <vector>

namespace {

// Packet n: sync, then its number in every other byte, so a torn one shows.
std::vector<uint8_t> Packets(uint8_t first, size_t count)
{
    std::vector<uint8_t> bytes;
    for (size_t n = 0; n < count; ++n) {
        bytes.push_back(TS_SYNC_BYTE);
        bytes.insert(bytes.end(), TS_PACKET_BYTES - 1, static_cast<uint8_t>(first + n));
    }
    return bytes;
}

std::vector<uint8_t> Join(std::vector<uint8_t> a, const std::vector<uint8_t>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<uint8_t> Junk(size_t size)
{
    return std::vector<uint8_t>(size, 0xA5);
}

// Feeds the stream in pieces of `piece` bytes, then ends it.
std::vector<uint8_t> Aligned(TsAligner& aligner, const std::vector<uint8_t>& stream, size_t piece)
{
    std::vector<uint8_t> out;
    for (size_t at = 0; at < stream.size(); at += piece)
        aligner.Push(stream.data() + at, std::min(piece, stream.size() - at), &out);
    aligner.Flush(&out);
    return out;
}

TEST(TsAligner, StrayBytesAtTheStartAndJunkBetweenPacketsAreSkippedAndCountedInAnyPieces)
{
    const std::vector<uint8_t> stream =
        Join(Join(Join(Junk(77), Packets(1, 5)), Junk(31)), Packets(10, 5));
    for (size_t piece : {1, 7, 188, 1000, 4096}) {
        SCOPED_TRACE(piece);
        TsAligner aligner;
        const std::vector<uint8_t> out = Aligned(aligner, stream, piece);
        // The packet that junk follows cannot be told from a torn one, and goes too.
        EXPECT_EQ(out, Join(Packets(1, 4), Packets(10, 5)));
        EXPECT_EQ(aligner.SkippedBytes(), 77 + TS_PACKET_BYTES + 31);
        EXPECT_EQ(out.size() + aligner.SkippedBytes(), stream.size());
    }
}

TEST(TsAligner, AStraySyncByteIsNotTakenForAlignment)
{
    std::vector<uint8_t> junk = Junk(400);
    junk[10] = TS_SYNC_BYTE;
    junk[10 + TS_PACKET_BYTES] = TS_SYNC_BYTE;  // two agree, the third does not
    TsAligner aligner;
    EXPECT_EQ(Aligned(aligner, Join(junk, Packets(1, 4)), 64), Packets(1, 4));
}

TEST(TsAligner, AReconnectMidPacketNeverFinishesTheTornPacketWithNewBytes)
{
    const std::vector<uint8_t> before = Packets(1, 4);
    const std::vector<uint8_t> after = Join(std::vector<uint8_t>(before.begin() + 50, before.begin() + 188), Packets(20, 4));
    TsAligner aligner;
    std::vector<uint8_t> out;
    aligner.Push(before.data(), before.size() - 100, &out);     // the connection breaks mid-packet
    aligner.Reset();
    aligner.Push(after.data(), after.size(), &out);
    aligner.Flush(&out);
    EXPECT_EQ(out, Join(Packets(1, 3), Packets(20, 4))) << "the fourth packet was cut off";
    EXPECT_EQ(out.size() + aligner.SkippedBytes(), before.size() - 100 + after.size());
}

TEST(TsAligner, AQuietSourcesLastWholePacketIsReleasedWithoutWaitingForTheNext)
{
    const std::vector<uint8_t> stream = Packets(1, 5);
    TsAligner aligner;
    std::vector<uint8_t> out;
    aligner.Push(stream.data(), stream.size() - 100, &out);
    aligner.Release(&out);
    EXPECT_EQ(out, Packets(1, 4)) << "the torn fifth stays held";
    aligner.Push(stream.data() + stream.size() - 100, 100, &out);
    aligner.Release(&out);
    EXPECT_EQ(out, Packets(1, 5));
    EXPECT_EQ(aligner.SkippedBytes(), 0u);
}

TEST(TsAligner, BytesAfterAQuietSpellMustStartWithSyncBeforeTheyPass)
{
    const std::vector<uint8_t> before = Packets(1, 3);
    const std::vector<uint8_t> after = Join(Junk(TS_PACKET_BYTES), Packets(4, 3));
    TsAligner aligner;
    std::vector<uint8_t> out;
    aligner.Push(before.data(), before.size(), &out);
    aligner.Release(&out);
    aligner.Push(after.data(), after.size(), &out);
    aligner.Flush(&out);
    EXPECT_EQ(out, Packets(1, 6)) << "the junk that a sync followed 188 bytes later went out as a packet";
    EXPECT_EQ(aligner.SkippedBytes(), TS_PACKET_BYTES);
}

TEST(TsAligner, WhatAVisitLeftHeldGoesToNoHostAndIsNotCountedAsSkippedUnlikeATornReconnect)
{
    const std::vector<uint8_t> stream = Packets(1, 5);
    TsAligner dropped, reset;
    std::vector<uint8_t> out;
    dropped.Push(stream.data(), stream.size() - 100, &out);
    reset.Push(stream.data(), stream.size() - 100, &out);
    dropped.Drop();
    reset.Reset();
    EXPECT_EQ(dropped.SkippedBytes(), 0u);
    EXPECT_EQ(reset.SkippedBytes(), TS_PACKET_BYTES - 100) << "a torn packet at a reconnect is left out";
    out.clear();
    dropped.Push(stream.data(), stream.size(), &out);
    dropped.Flush(&out);
    EXPECT_EQ(out, stream) << "the next visit aligns anew";
    EXPECT_EQ(dropped.SkippedBytes(), 0u);
}

TEST(TsAligner, AShortCleanStreamPassesWholeAtItsEnd)
{
    TsAligner aligner;
    EXPECT_EQ(Aligned(aligner, Packets(1, 2), 188), Packets(1, 2));
    EXPECT_EQ(aligner.SkippedBytes(), 0u);
}

} // namespace
