// The soak's conclusions: which visits fail, which a fault excuses, which
// recoveries were too slow, and when a census grew or could not be taken.
#include <gtest/gtest.h>

#include "soak_layout.h"
#include "soak_verdict.h"

namespace {

const uint32_t FILE_CHANNEL = 0;
const uint32_t UDP_CHANNEL = 1;

VisitRecord GoodVisit(uint32_t channel, double at)
{
    VisitRecord v;
    v.slot = HostOf(channel);
    v.channel = channel;
    v.selectedAt = at;
    v.endedAt = at + 4.0;
    v.zapSeconds = 0.2;
    v.bytes = 1000 * 188;
    v.packets = 1000;
    v.rateRatio = 1.0;
    return v;
}

FaultRecord Fault(FaultKind kind, uint32_t channel, double at, double tookSeconds)
{
    FaultRecord f;
    f.kind = kind;
    f.channel = channel;
    f.injectedAt = at;
    f.restoredAt = at + 3.0;
    f.recoveredAt = tookSeconds < 0.0 ? 0.0 : f.restoredAt + tookSeconds;
    return f;
}

} // namespace

TEST(SoakVerdict, GoodVisitsPassAndAreCounted)
{
    const SoakVerdict v =
        JudgeVisits({GoodVisit(FILE_CHANNEL, 10), GoodVisit(UDP_CHANNEL, 15), GoodVisit(FILE_CHANNEL, 20)}, {});
    EXPECT_TRUE(v.failures.empty()) << v.failures.front();
    EXPECT_EQ(v.visits, 3u);
    EXPECT_EQ(v.zaps, 2u);          // the host's first selection is no zap
    EXPECT_EQ(v.zapSeconds.size(), 3u);
    EXPECT_EQ(v.rateChecked, 2u);   // file channels only
}

TEST(SoakVerdict, EachBrokenPromiseIsAFailure)
{
    VisitRecord foreign = GoodVisit(FILE_CHANNEL, 10);
    foreign.foreignPids = 1;
    VisitRecord stray = GoodVisit(UDP_CHANNEL, 10);
    stray.strayBytes = 5;
    VisitRecord slow = GoodVisit(UDP_CHANNEL, 20);
    slow.zapSeconds = 9.0;
    VisitRecord none = GoodVisit(UDP_CHANNEL, 30);
    none.zapSeconds = -1.0;
    VisitRecord torn = GoodVisit(FILE_CHANNEL, 40);
    torn.continuityErrors = 1;
    VisitRecord fast = GoodVisit(FILE_CHANNEL, 50);
    fast.rateRatio = 1.5;
    VisitRecord paused = GoodVisit(FILE_CHANNEL, 60);
    paused.longestGap = 10.0;
    const SoakVerdict v = JudgeVisits({foreign, stray, slow, none, torn, fast, paused}, {});
    ASSERT_EQ(v.failures.size(), 7u);
    EXPECT_NE(v.failures[0].find("another channel"), std::string::npos);
    EXPECT_NE(v.failures[1].find("sync lost"), std::string::npos);
    EXPECT_NE(v.failures[2].find("no data within"), std::string::npos);
    EXPECT_NE(v.failures[3].find("no data within"), std::string::npos);
    EXPECT_NE(v.failures[4].find("continuity"), std::string::npos);
    EXPECT_NE(v.failures[5].find("rate"), std::string::npos);
    EXPECT_NE(v.failures[6].find("paused"), std::string::npos);
}

TEST(SoakVerdict, ContinuityIsOnlyRequiredOfFileChannels)
{
    VisitRecord udp = GoodVisit(UDP_CHANNEL, 10);
    udp.continuityErrors = 3;
    const SoakVerdict v = JudgeVisits({udp}, {});
    EXPECT_TRUE(v.failures.empty());
    EXPECT_EQ(v.continuityErrors, 3u);
}

TEST(SoakVerdict, AFaultOnTheChannelExcusesTheZapButNothingElse)
{
    VisitRecord slow = GoodVisit(FILE_CHANNEL, 10);
    slow.zapSeconds = -1.0;
    slow.continuityErrors = 2;
    slow.longestGap = 9.0;
    const SoakVerdict v = JudgeVisits({slow}, {Fault(FaultKind::HOST_STALLED, FILE_CHANNEL, 11.0, 0.5)});
    ASSERT_EQ(v.failures.size(), 2u);
    EXPECT_NE(v.failures[0].find("continuity"), std::string::npos);
    EXPECT_NE(v.failures[1].find("paused"), std::string::npos);
    EXPECT_EQ(v.excused, 1u);
}

TEST(SoakVerdict, AFaultExcusesNeitherOtherChannelsNorLaterVisits)
{
    VisitRecord other = GoodVisit(UDP_CHANNEL, 10);
    other.zapSeconds = -1.0;
    VisitRecord later = GoodVisit(FILE_CHANNEL, 60);
    later.zapSeconds = -1.0;
    const SoakVerdict v = JudgeVisits({other, later}, {Fault(FaultKind::HOST_STALLED, FILE_CHANNEL, 10.0, 0.1)});
    EXPECT_EQ(v.failures.size(), 2u);
}

TEST(SoakVerdict, AnUnrecoveredFaultExcusesUntilItsBound)
{
    const FaultRecord never = Fault(FaultKind::SERVER_KILLED, UDP_CHANNEL, 10.0, -1.0);
    VisitRecord within = GoodVisit(UDP_CHANNEL, 10.0 + 3.0 + RecoveryBound(never.kind));
    within.zapSeconds = -1.0;
    EXPECT_TRUE(FaultExcuses(never, within));
    VisitRecord beyond = GoodVisit(UDP_CHANNEL, 10.0 + 3.0 + RecoveryBound(never.kind) + 10.0);
    EXPECT_FALSE(FaultExcuses(never, beyond));
}

TEST(SoakVerdict, RecoveriesBeyondTheirBoundOrNeverFail)
{
    SoakVerdict v;
    JudgeRecoveries({Fault(FaultKind::SERVER_KILLED, 5, 10, 4.0), Fault(FaultKind::SERVER_KILLED, 5, 50, 16.0),
                     Fault(FaultKind::PROGRAM_EXITED, 7, 90, -1.0), Fault(FaultKind::HOST_STALLED, 0, 120, 3.5)},
                    &v);
    ASSERT_EQ(v.failures.size(), 3u);
    EXPECT_NE(v.failures[0].find("server killed"), std::string::npos);
    EXPECT_NE(v.failures[1].find("cmd: program exited"), std::string::npos);
    EXPECT_NE(v.failures[2].find("stopped taking"), std::string::npos);
    ASSERT_EQ(v.recoverySeconds[int(FaultKind::SERVER_KILLED)].size(), 1u);
    EXPECT_DOUBLE_EQ(v.recoverySeconds[int(FaultKind::SERVER_KILLED)][0], 4.0);
}

TEST(SoakVerdict, HostRestartsMayTakeLongerThanSourceRetries)
{
    EXPECT_GT(RecoveryBound(FaultKind::HOST_KILLED), RecoveryBound(FaultKind::SERVER_KILLED));
    EXPECT_LT(RecoveryBound(FaultKind::HOST_STALLED), RecoveryBound(FaultKind::SERVER_KILLED));
}

TEST(SoakCensus, GrowthWithinTheAllowancePasses)
{
    const CensusAllowance allowance = {10, 2, 1 << 20};
    const CensusFigures start = {100, 12, 50 << 20};
    const CensusFigures end = {110, 14, (50 << 20) + (1 << 20)};
    EXPECT_TRUE(JudgeCensus("feeder", start, end, allowance, 11).empty());
}

TEST(SoakCensus, GrowthOfAnyOneFigureFails)
{
    const CensusAllowance allowance = {10, 2, 1 << 20};
    const CensusFigures start = {100, 12, 50 << 20};
    EXPECT_EQ(JudgeCensus("feeder", start, {111, 12, 50 << 20}, allowance, 11).size(), 1u);
    EXPECT_EQ(JudgeCensus("feeder", start, {100, 15, 50 << 20}, allowance, 11).size(), 1u);
    EXPECT_EQ(JudgeCensus("feeder", start, {100, 12, (52 << 20)}, allowance, 11).size(), 1u);
}

TEST(SoakCensus, AFailedCountCannotPass)
{
    const CensusAllowance allowance = {10, 2, 1 << 20};
    const CensusFigures good = {100, 12, 50 << 20};
    const CensusFigures failed;     // -1 handles, -1 threads, 0 bytes
    EXPECT_EQ(JudgeCensus("feeder", failed, failed, allowance, 11).size(), 1u);
    EXPECT_EQ(JudgeCensus("feeder", good, {100, 3, 50 << 20}, allowance, 11).size(), 1u);  // fewer threads than workers
    EXPECT_EQ(JudgeCensus("feeder", good, {100, 12, 0}, allowance, 11).size(), 1u);
}

TEST(SoakVerdict, AVisitTheSoakCutBeforeItsDataWasDueIsNoFailedZap)
{
    VisitRecord cut = GoodVisit(UDP_CHANNEL, 10);
    cut.zapSeconds = -1.0;
    cut.endedAt = cut.selectedAt + 0.2;
    cut.cut = true;
    VisitRecord waited = cut;
    waited.endedAt = cut.selectedAt + 9.0;
    const SoakVerdict v = JudgeVisits({cut, waited}, {});
    ASSERT_EQ(v.failures.size(), 1u);
    EXPECT_NE(v.failures[0].find("no data within"), std::string::npos);
}

TEST(SoakVerdict, AVisitEndedBeforeTheFaultIsNotExcused)
{
    const FaultRecord fault = Fault(FaultKind::SERVER_KILLED, UDP_CHANNEL, 30.0, 4.0);
    VisitRecord before = GoodVisit(UDP_CHANNEL, 20.0);
    before.endedAt = 25.0;
    EXPECT_FALSE(FaultExcuses(fault, before));
    VisitRecord across = GoodVisit(UDP_CHANNEL, 28.0);
    EXPECT_TRUE(FaultExcuses(fault, across));
}

TEST(SoakVerdict, EveryHostsFirstSelectionIsNoZap)
{
    const SoakVerdict v = JudgeVisits({GoodVisit(0, 10), GoodVisit(2, 10), GoodVisit(0, 20), GoodVisit(4, 10)}, {});
    EXPECT_EQ(v.visits, 4u);
    EXPECT_EQ(v.zaps, 1u);
}

TEST(SoakCensus, GrowthOfExactlyTheAllowancePasses)
{
    const CensusAllowance allowance = {10, 2, 1 << 20};
    const CensusFigures start = {100, 12, 50 << 20};
    EXPECT_TRUE(JudgeCensus("feeder", start, {110, 14, (50 << 20) + (1 << 20)}, allowance, 11).empty());
    EXPECT_TRUE(JudgeCensus("feeder", start, {90, 11, 40 << 20}, allowance, 11).empty());  // shrinking is fine
}
