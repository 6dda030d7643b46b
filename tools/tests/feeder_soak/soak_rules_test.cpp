// The soak's rules that make its checks mean something: what counts as a
// recovery after a fault, and how sockets are read from /proc.
#include <gtest/gtest.h>

#include "soak_proc_net.h"
#include "soak_recovery_rule.h"

namespace {

const int64_t RESTORED_US = 10000000;
const int32_t GAP_MS = 500;

} // namespace

TEST(SoakRecoveryRule, NothingCountsBeforeTheFaultIsOver)
{
    EXPECT_FALSE(CountsAsRecovery(0, 0, RESTORED_US + 1, 5000000, GAP_MS));
    EXPECT_FALSE(CountsAsRecovery(RESTORED_US, 0, RESTORED_US - 1, 5000000, GAP_MS));
}

TEST(SoakRecoveryRule, DataAlreadyOnItsWayIsNoRecovery)
{
    // Right after the restore, but with no pause before it: left over from before the fault.
    EXPECT_FALSE(CountsAsRecovery(RESTORED_US, 0, RESTORED_US + 20000, 10000, GAP_MS));
}

TEST(SoakRecoveryRule, DataAfterAPauseCountsOnce)
{
    EXPECT_TRUE(CountsAsRecovery(RESTORED_US, 0, RESTORED_US + 1000000, 4000000, GAP_MS));
    EXPECT_FALSE(CountsAsRecovery(RESTORED_US, RESTORED_US + 1000000, RESTORED_US + 2000000, 4000000, GAP_MS));
}

TEST(SoakRecoveryRule, WithoutAGapRuleTheFirstBlockAfterTheRestoreCounts)
{
    EXPECT_TRUE(CountsAsRecovery(RESTORED_US, 0, RESTORED_US + 1, 0, 0));
}

TEST(SoakProcNet, AnEstablishedLoopbackConnectionIsRead)
{
    SocketLine s;
    ASSERT_TRUE(ParseSocketLine("   3: 0100007F:D2F4 0100007F:1F90 01 00000000:00000000 00:00000000 00000000  "
                                "1000        0 123456 1 0000000000000000 20 4 30 10 -1", &s));
    EXPECT_EQ(s.localPort, 0xD2F4u);
    EXPECT_EQ(s.remotePort, 0x1F90u);
    EXPECT_EQ(s.state, TCP_ESTABLISHED_STATE);
}

TEST(SoakProcNet, AListeningSocketIsNotEstablished)
{
    SocketLine s;
    ASSERT_TRUE(ParseSocketLine("   0: 0100007F:1F90 00000000:0000 0A 00000000:00000000 00:00000000 00000000 0 0 1", &s));
    EXPECT_EQ(s.localPort, 0x1F90u);
    EXPECT_NE(s.state, TCP_ESTABLISHED_STATE);
}

TEST(SoakProcNet, TheHeaderIsNoSocket)
{
    SocketLine s;
    EXPECT_FALSE(ParseSocketLine("  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid", &s));
    EXPECT_FALSE(ParseSocketLine("", &s));
}
