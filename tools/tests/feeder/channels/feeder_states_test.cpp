// The channel's table of states: no state can be left stuck by an event that
// must always be answered.
#include <gtest/gtest.h>

#include "channel_pipe.h"
#include "channel_states.h"
#include "delivery_ledger.h"
#include "feeder_role.h"

#include <string>
#include <vector>

namespace {

const ChannelState LIVE_STATES[] = {ChannelState::WATCHING, ChannelState::BUSY, ChannelState::DENIED,
                                    ChannelState::CONNECTING,
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

// A host's pipe made with more rights than the feeder has (an elevated host, a
// service) refuses it with access denied: said once, with what to do.
TEST(ChannelStates, APipeThatRefusesTheFeederIsSaidOnceWithWhatToDo)
{
    EXPECT_EQ(ClassifyOpenError(ERROR_ACCESS_DENIED), PipeOpen::DENIED);
    EXPECT_EQ(ClassifyOpenError(ERROR_PIPE_BUSY), PipeOpen::BUSY);
    EXPECT_EQ(ClassifyOpenError(ERROR_FILE_NOT_FOUND), PipeOpen::MISSING);
    for (ChannelState from : {ChannelState::WATCHING, ChannelState::BUSY}) {
        SCOPED_TRACE(StateName(from));
        const ChannelTransition* denied = FindTransition(from, ChannelEvent::PIPE_DENIED);
        ASSERT_NE(denied, nullptr);
        EXPECT_EQ(denied->to, ChannelState::DENIED);
        const std::string says = denied->says;
        EXPECT_EQ(says.find("access denied"), 0u) << says;
    }
    // The advice follows as the line's detail, worded for how the feeder runs.
    EXPECT_NE(std::string(PipeDeniedAdvice(FeederRole::CONSOLE))
                  .find("run the feeder as the same user, or with the same rights, as the host"), std::string::npos);
    EXPECT_EQ(FindTransition(ChannelState::DENIED, ChannelEvent::PIPE_DENIED), nullptr) << "said again";
    EXPECT_EQ(FindTransition(ChannelState::DENIED, ChannelEvent::PIPE_FREE)->to, ChannelState::WATCHING);
    EXPECT_EQ(FindTransition(ChannelState::DENIED, ChannelEvent::HOST_FOUND)->to, ChannelState::CONNECTING);
}

// A pipe in this process, unread by its server end: every accepted byte is
// still in its buffer, whatever the system says of the room left.
class UnreadPipe {
public:
    UnreadPipe()
    {
        const std::wstring name = L"\\\\.\\pipe\\ledger-test-" + std::to_wstring(GetCurrentProcessId());
        m_server = CreateNamedPipeW(name.c_str(), PIPE_ACCESS_INBOUND, 0, 1, PIPE_BYTES, PIPE_BYTES, 0, NULL);
        m_client = CreateFileW(name.c_str(), GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    }
    ~UnreadPipe()
    {
        CloseHandle(m_client);
        CloseHandle(m_server);
    }
    bool Write(DWORD bytes)
    {
        std::vector<BYTE> data(bytes);
        DWORD written = 0;
        return WriteFile(m_client, data.data(), bytes, &written, NULL) && written == bytes;
    }
    HANDLE Client() const { return m_client; }
    static const DWORD PIPE_BYTES = 48128;

private:
    HANDLE m_server;
    HANDLE m_client;
};

TEST(DeliveryLedger, BytesStillInThePipeAreNeverCountedAsDelivered)
{
    UnreadPipe pipe;
    ASSERT_NE(pipe.Client(), INVALID_HANDLE_VALUE);
    DeliveryLedger ledger;
    ledger.VisitStarted(pipe.Client());
    ASSERT_TRUE(pipe.Write(10000));
    ledger.Accepted(10000);
    ASSERT_TRUE(pipe.Write(20000));
    ledger.Accepted(20000);
    EXPECT_EQ(ledger.Delivered(), 0u) << "nobody has read the pipe";
    EXPECT_EQ(ledger.VisitInDoubt(), 30000u);
    ledger.VisitEnded();
    EXPECT_EQ(ledger.InDoubt(), 30000u);
    EXPECT_EQ(ledger.VisitAccepted(), 0u);
}

TEST(DeliveryLedger, AVisitWhosePipeCannotBeAskedKeepsEveryByteInDoubt)
{
    DeliveryLedger ledger;
    ledger.VisitStarted(INVALID_HANDLE_VALUE);
    ledger.Accepted(100000);
    EXPECT_EQ(ledger.Delivered(), 0u);
    ledger.VisitEnded();
    ledger.VisitStarted(INVALID_HANDLE_VALUE);
    ledger.Accepted(1000);
    ledger.VisitEnded();
    EXPECT_EQ(ledger.InDoubt(), 101000u);
    EXPECT_EQ(ledger.Delivered(), 0u);
}

} // namespace
