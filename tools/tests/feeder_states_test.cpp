// The channel's table of states: no state can be left stuck by an event that
// must always be answered.
#include <gtest/gtest.h>

#include "channel_states.h"
#include "delivery_ledger.h"

namespace {

const ChannelState LIVE_STATES[] = {ChannelState::WATCHING, ChannelState::BUSY, ChannelState::CONNECTING,
                                    ChannelState::STREAMING, ChannelState::ENDED, ChannelState::SOURCE_DOWN,
                                    ChannelState::RETRYING};

TEST(ChannelStates, EveryStateStopsAndEveryConnectedStateGoesBackToWatchingWhenTheHostLeaves)
{
    for (ChannelState state : LIVE_STATES) {
        SCOPED_TRACE(StateName(state));
        const ChannelTransition* stop = FindTransition(state, ChannelEvent::STOP);
        ASSERT_NE(stop, nullptr);
        EXPECT_EQ(stop->to, ChannelState::STOPPED);
        const ChannelTransition* left = FindTransition(state, ChannelEvent::HOST_LEFT);
        EXPECT_EQ(left != nullptr, HoldsPipe(state));
        if (left != nullptr)
            EXPECT_EQ(left->to, ChannelState::WATCHING);
    }
}

TEST(ChannelStates, ASourceOpensOnlyForAHostAndFailuresComeBackThroughRetrying)
{
    EXPECT_EQ(FindTransition(ChannelState::WATCHING, ChannelEvent::SOURCE_OPENED), nullptr);
    EXPECT_EQ(FindTransition(ChannelState::WATCHING, ChannelEvent::HOST_FOUND)->to, ChannelState::CONNECTING);
    EXPECT_EQ(FindTransition(ChannelState::STREAMING, ChannelEvent::SOURCE_FAILED)->to, ChannelState::SOURCE_DOWN);
    EXPECT_EQ(FindTransition(ChannelState::SOURCE_DOWN, ChannelEvent::RETRY_DUE)->to, ChannelState::RETRYING);
    EXPECT_EQ(FindTransition(ChannelState::RETRYING, ChannelEvent::SOURCE_OPENED)->to, ChannelState::STREAMING);
    EXPECT_EQ(FindTransition(ChannelState::ENDED, ChannelEvent::SOURCE_FAILED), nullptr);
}

TEST(DeliveryLedger, BytesStillPossiblyInThePipeAreNeverCountedAsDelivered)
{
    DeliveryLedger ledger;
    ledger.Accepted(10000);
    EXPECT_EQ(ledger.Delivered(), 0u) << "all of a short visit may still be in the pipe";
    ledger.Accepted(100000);
    EXPECT_EQ(ledger.Delivered(), 110000u - 48128u);
    ledger.VisitEnded();
    EXPECT_EQ(ledger.InDoubt(), 48128u);
    ledger.Accepted(1000);
    ledger.VisitEnded();
    EXPECT_EQ(ledger.Delivered(), 110000u - 48128u);
    EXPECT_EQ(ledger.InDoubt(), 48128u + 1000u);
}

} // namespace
