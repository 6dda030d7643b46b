#include <gtest/gtest.h>

#include <vector>

#include "byte_source.h"
#include "pacer.h"
#include "packet_stream.h"
#include "write_sizes.h"

namespace {

const uint64_t SEED = 42;
const uint32_t PID = 0x1ABC;
const size_t   PACKETS = 40;

std::vector<uint8_t> Generate(uint64_t seed, uint32_t pid, size_t size)
{
    std::vector<uint8_t> bytes(size);
    PacketStream(seed, pid).Fill(bytes.data(), size);
    return bytes;
}

TEST(PacketStream, EveryPacketHasSyncPidAndACountingContinuityCounter)
{
    const std::vector<uint8_t> bytes = Generate(SEED, PID, PACKETS * PACKET_SIZE);
    for (size_t i = 0; i < PACKETS; ++i) {
        SCOPED_TRACE("packet " + std::to_string(i));
        const uint8_t* p = &bytes[i * PACKET_SIZE];
        EXPECT_EQ(PACKET_SYNC_BYTE, p[0]);
        EXPECT_EQ(PID, static_cast<uint32_t>((p[1] & 0x1F) << 8 | p[2]));
        EXPECT_EQ(0, p[1] & 0xE0) << "no error, start or priority bits";
        EXPECT_EQ(0x10, p[3] & 0xF0) << "payload only, not scrambled";
        EXPECT_EQ(i % 16, static_cast<size_t>(p[3] & 0x0F));
    }
}

TEST(PacketStream, CutsBetweenCallsDoNotChangeTheStream)
{
    const size_t total = PACKETS * PACKET_SIZE + 77;
    const std::vector<uint8_t> whole = Generate(SEED, PID, total);
    std::vector<uint8_t> pieces(total);
    PacketStream stream(SEED, PID);
    const size_t cuts[] = {1, 3, 187, 188, 189, 1316, 0, 2};
    size_t at = 0;
    for (size_t i = 0; at < total; ++i) {
        const size_t n = std::min(cuts[i % (sizeof cuts / sizeof cuts[0])], total - at);
        stream.Fill(pieces.data() + at, n);
        at += n;
    }
    EXPECT_EQ(whole, pieces);
}

TEST(PacketStream, TheSeedChoosesThePayload)
{
    const size_t size = PACKETS * PACKET_SIZE;
    EXPECT_EQ(Generate(SEED, PID, size), Generate(SEED, PID, size));
    const std::vector<uint8_t> a = Generate(SEED, PID, size);
    const std::vector<uint8_t> b = Generate(SEED + 1, PID, size);
    EXPECT_TRUE(std::equal(a.begin(), a.begin() + PACKET_HEADER_SIZE, b.begin())) << "headers alike";
    EXPECT_NE(a, b) << "payload differs";
}

TEST(GeneratedSource, EndsAtExactlyItsByteCountCuttingTheLastPacket)
{
    const uint64_t total = 3 * PACKET_SIZE + 5;
    GeneratedSource source(total, SEED, PID);
    std::vector<uint8_t> got(1000, 0xEE);
    EXPECT_EQ(400u, source.Read(got.data(), 400));
    EXPECT_EQ(total - 400, source.Read(got.data() + 400, 600));
    EXPECT_EQ(0u, source.Read(got.data(), 600));
    EXPECT_EQ(0xEE, got[total]) << "nothing written past the end";
    got.resize(total);
    EXPECT_EQ(Generate(SEED, PID, total), got);
    EXPECT_EQ("", source.Error());
}

TEST(WriteSizes, FixedSizeNeverChanges)
{
    WriteSizes sizes = WriteSizes::Fixed(1316);
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(1316u, sizes.Next());
    EXPECT_EQ(1316u, sizes.Largest());
}

TEST(WriteSizes, RandomSizesCoverTheWholeRangeAndRepeatForASeed)
{
    const uint32_t lo = 10, hi = 20;
    WriteSizes first = WriteSizes::Random(lo, hi, SEED);
    WriteSizes again = WriteSizes::Random(lo, hi, SEED);
    std::vector<bool> hit(hi + 1, false);
    for (int i = 0; i < 1000; ++i) {
        const uint32_t n = first.Next();
        ASSERT_GE(n, lo);
        ASSERT_LE(n, hi);
        ASSERT_EQ(n, again.Next()) << "draw " << i;
        hit[n] = true;
    }
    for (uint32_t n = lo; n <= hi; ++n)
        EXPECT_TRUE(hit[n]) << "size " << n << " never drawn";
    EXPECT_EQ(hi, first.Largest());
}

TEST(Pacer, WaitsOnlyWhenAheadOfTheRate)
{
    const Pacer unlimited(0);
    EXPECT_EQ(0u, unlimited.DelayMs(1ull << 40, 0.0));
    const Pacer thousandBytesPerSecond(8000);
    EXPECT_EQ(750u, thousandBytesPerSecond.DelayMs(1000, 0.25));
    EXPECT_EQ(0u, thousandBytesPerSecond.DelayMs(1000, 1.0));
    EXPECT_EQ(0u, thousandBytesPerSecond.DelayMs(1000, 2.0)) << "behind schedule: no catch-up debt";
    EXPECT_EQ(0u, thousandBytesPerSecond.DelayMs(0, 0.0));
}

} // namespace
