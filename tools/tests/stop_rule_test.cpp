#include <gtest/gtest.h>

#include "stop_rule.h"

namespace {

const double QUIET = GoneDetector::GONE_QUIET_SECONDS;
const double IDLE = GoneDetector::GONE_IDLE_SECONDS;
const uint32_t DATA = 48128;
const uint32_t EMPTY = 0;

TEST(GoneDetector, NothingReceivedIsNeverGone)
{
    GoneDetector gone;
    EXPECT_FALSE(gone.IsGone(1e6)) << "a writer that never came has not gone";
}

TEST(GoneDetector, EmptyBlockThenQuietMeansGone)
{
    GoneDetector gone;
    gone.OnBlock(DATA, 1.0);
    gone.OnBlock(EMPTY, 2.0);
    gone.OnBlock(EMPTY, 2.1);
    EXPECT_FALSE(gone.IsGone(2.1 + QUIET - 0.01)) << "the quiet time counts from the last empty block";
    EXPECT_TRUE(gone.IsGone(2.1 + QUIET));
}

TEST(GoneDetector, DataAfterTheEmptyBlocksMeansANewWriter)
{
    GoneDetector gone;
    gone.OnBlock(EMPTY, 1.0);
    gone.OnBlock(DATA, 1.5);
    EXPECT_FALSE(gone.IsGone(1.0 + QUIET + 0.1));
    EXPECT_TRUE(gone.IsGone(1.5 + IDLE)) << "the new writer is judged by the idle time again";
}

TEST(GoneDetector, WriterThatLeftNoEmptyBlockIsGoneAfterTheIdleTime)
{
    GoneDetector gone;
    gone.OnBlock(DATA, 1.0);
    EXPECT_FALSE(gone.IsGone(1.0 + IDLE - 0.01));
    EXPECT_TRUE(gone.IsGone(1.0 + IDLE));
}

TEST(StopRule, ByteLimitCutsTheLastBlockAndStops)
{
    StopLimits limits;
    limits.bytes = 100000;
    const StopRule rule(limits);
    EXPECT_EQ(DATA, rule.BytesToKeep(0, DATA));
    EXPECT_EQ(100000u - 96256u, rule.BytesToKeep(96256, DATA));
    EXPECT_EQ(0u, rule.BytesToKeep(100000, DATA));
    EXPECT_EQ(StopReason::NONE, rule.Check(99999, 0.0, false));
    EXPECT_EQ(StopReason::BYTES, rule.Check(100000, 0.0, false));
}

TEST(StopRule, WithoutLimitsOnlyAnInterruptStops)
{
    StopRule rule{StopLimits{}};
    rule.OnBlock(EMPTY, 0.0);
    EXPECT_EQ(DATA, rule.BytesToKeep(1ull << 40, DATA));
    EXPECT_EQ(StopReason::NONE, rule.Check(1ull << 40, 1e6, false)) << "gone counts only with --until-gone";
    EXPECT_EQ(StopReason::INTERRUPTED, rule.Check(0, 0.0, true));
}

TEST(StopRule, TheFirstConditionMetWins)
{
    StopLimits limits;
    limits.bytes = 1000;
    limits.seconds = 5.0;
    limits.untilGone = true;
    StopRule rule(limits);
    rule.OnBlock(DATA, 0.0);
    rule.OnBlock(EMPTY, 1.0);
    EXPECT_EQ(StopReason::NONE, rule.Check(500, 1.5, false));
    EXPECT_EQ(StopReason::WRITER_GONE, rule.Check(500, 1.0 + QUIET, false));
    EXPECT_EQ(StopReason::BYTES, rule.Check(1000, 1.0 + QUIET, false)) << "all bytes in: done, not gone";
    StopLimits timeOnly;
    timeOnly.seconds = 5.0;
    EXPECT_EQ(StopReason::TIME, StopRule(timeOnly).Check(0, 5.0, false));
}

TEST(StopRule, UntilGoneGivesUpWhenNoDataCameWithinTheWait)
{
    StopLimits limits;
    limits.untilGone = true;
    limits.waitSeconds = 30.0;
    StopRule silent(limits);
    EXPECT_EQ(StopReason::NONE, silent.Check(0, 29.9, false));
    EXPECT_EQ(StopReason::NOTHING_ARRIVED, silent.Check(0, 30.0, false));
    silent.OnBlock(EMPTY, 31.0);
    EXPECT_EQ(StopReason::NOTHING_ARRIVED, silent.Check(0, 31.0, false)) << "an empty block is no data";
    StopRule fed(limits);
    fed.OnBlock(DATA, 29.0);
    EXPECT_EQ(StopReason::NONE, fed.Check(DATA, 30.0, false)) << "once data came, the gone rules decide";
    limits.untilGone = false;
    EXPECT_EQ(StopReason::NONE, StopRule(limits).Check(0, 1e6, false)) << "the wait is part of --until-gone";
}

} // namespace
