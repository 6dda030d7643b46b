// A soak host's judgement of one visit: whose PIDs, lost sync, continuity, rate.
#include <gtest/gtest.h>

#include "soak_layout.h"
#include "soak_visit.h"
#include "synthetic_ts.h"

namespace {

const uint32_t CHANNEL = 2;
const size_t PACKET = 188;

VisitData VisitOf(const std::vector<uint8_t>& bytes, uint32_t channel = CHANNEL)
{
    VisitData visit;
    visit.channel = channel;
    visit.selectedAt = 100.0;
    visit.endedAt = 101.0;
    visit.bytes = bytes;
    visit.blocks.push_back(BlockTime{100.25, static_cast<uint32_t>(bytes.size())});
    return visit;
}

// Blocks at the clip's rate (times `speed`) for `seconds`, 0.1 s apart.
VisitData PacedVisit(double seconds, double speed)
{
    VisitData visit = VisitOf(InterleavedPackets({SoakPidBase(CHANNEL)}, 10));
    visit.blocks.clear();
    const double STEP = 0.1;
    for (double t = 0.2; t <= seconds; t += STEP)
        visit.blocks.push_back(BlockTime{100.0 + t, static_cast<uint32_t>(SOAK_CLIP_BITS_PER_SECOND / 8 * STEP * speed)});
    return visit;
}

} // namespace

TEST(SoakVisit, OwnAndSharedPidsAreNoForeignOnes)
{
    const VisitRecord r = CheckVisit(VisitOf(InterleavedPackets({0x0000, 0x1000, SoakPidBase(CHANNEL), 0x1FFF}, 40)));
    EXPECT_EQ(r.foreignPids, 0u);
    EXPECT_EQ(r.packets, 40u);
    EXPECT_EQ(r.strayBytes, 0u);
    EXPECT_EQ(r.continuityErrors, 0u);
    EXPECT_NEAR(r.zapSeconds, 0.25, 1e-9);
}

TEST(SoakVisit, AnotherChannelsPidIsNamed)
{
    const uint16_t other = SoakPidBase(CHANNEL + 1) + 1;
    const VisitRecord r = CheckVisit(VisitOf(InterleavedPackets({SoakPidBase(CHANNEL), other}, 20)));
    EXPECT_EQ(r.foreignPids, 1u);
    EXPECT_EQ(r.firstForeign, other);
}

TEST(SoakVisit, BytesBetweenPacketsAreLostSync)
{
    std::vector<uint8_t> bytes = InterleavedPackets({SoakPidBase(CHANNEL)}, 10);
    bytes.insert(bytes.begin() + 3 * PACKET, {0x00, 0x01, 0x02});
    EXPECT_GT(CheckVisit(VisitOf(bytes)).strayBytes, 0u);
}

TEST(SoakVisit, AMissingPacketIsAContinuityError)
{
    std::vector<uint8_t> bytes = InterleavedPackets({SoakPidBase(CHANNEL)}, 10);
    bytes.erase(bytes.begin() + 4 * PACKET, bytes.begin() + 5 * PACKET);
    EXPECT_EQ(CheckVisit(VisitOf(bytes)).continuityErrors, 1u);
}

TEST(SoakVisit, NoDataIsNoZap)
{
    VisitData visit = VisitOf({});
    visit.blocks.clear();
    EXPECT_LT(CheckVisit(visit).zapSeconds, 0.0);
}

TEST(SoakVisit, RateIsMeasuredOnlyOnLongEnoughVisitsWithoutAStall)
{
    EXPECT_NEAR(CheckVisit(PacedVisit(5.0, 1.0)).rateRatio, 1.0, 0.05);
    EXPECT_NEAR(CheckVisit(PacedVisit(5.0, 2.0)).rateRatio, 2.0, 0.1);
    EXPECT_EQ(CheckVisit(PacedVisit(2.0, 1.0)).rateRatio, 0.0);
    VisitData stalled = PacedVisit(5.0, 1.0);
    stalled.stalledSeconds = 3.0;
    EXPECT_EQ(CheckVisit(stalled).rateRatio, 0.0);
}

TEST(SoakVisit, TheLineCarriesEveryFigure)
{
    VisitRecord r;
    r.slot = 3; r.channel = 7; r.selectedAt = 12.5; r.endedAt = 15.25; r.zapSeconds = 0.125; r.bytes = 1u << 20;
    r.packets = 5577; r.foreignPids = 2; r.firstForeign = 0x301; r.continuityErrors = 4; r.strayBytes = 9;
    r.rateRatio = 0.97; r.stalledSeconds = 3.5; r.cut = true; r.longestGap = 0.75;
    VisitRecord back;
    ASSERT_TRUE(ParseVisit(FormatVisit(r), &back));
    EXPECT_EQ(back.slot, 3u);
    EXPECT_EQ(back.channel, 7u);
    EXPECT_DOUBLE_EQ(back.selectedAt, 12.5);
    EXPECT_DOUBLE_EQ(back.endedAt, 15.25);
    EXPECT_DOUBLE_EQ(back.zapSeconds, 0.125);
    EXPECT_EQ(back.bytes, 1u << 20);
    EXPECT_EQ(back.packets, 5577u);
    EXPECT_EQ(back.foreignPids, 2u);
    EXPECT_EQ(back.firstForeign, 0x301u);
    EXPECT_EQ(back.continuityErrors, 4u);
    EXPECT_EQ(back.strayBytes, 9u);
    EXPECT_DOUBLE_EQ(back.rateRatio, 0.97);
    EXPECT_DOUBLE_EQ(back.stalledSeconds, 3.5);
    EXPECT_TRUE(back.cut);
    EXPECT_DOUBLE_EQ(back.longestGap, 0.75);
}

TEST(SoakVisit, OtherLinesAreNoVisits)
{
    VisitRecord r;
    EXPECT_FALSE(ParseVisit("host-error slot=1 SelectChannel(0, 3) refused", &r));
    EXPECT_FALSE(ParseVisit("visit slot=1 channel=3", &r));
    EXPECT_FALSE(ParseVisit(FormatVisit(VisitRecord()).replace(0, 5, "visiT"), &r));
}

TEST(SoakVisit, APauseMidVisitIsMeasuredButAStallIsNot)
{
    VisitData visit = PacedVisit(5.0, 1.0);
    visit.blocks.push_back(BlockTime{visit.blocks.back().at + 6.0, 1316});
    EXPECT_NEAR(CheckVisit(visit).longestGap, 6.0, 1e-9);
    visit.stalls.push_back(Interval{visit.blocks.back().at - 5.9, visit.blocks.back().at - 0.1});
    EXPECT_LT(CheckVisit(visit).longestGap, 0.2);
}
