// The feeder's network channels end to end: the feeder as a child process, the
// UDP sender and the TCP and HTTP servers on loopback in the test process, and a
// host there too that loads the shipped driver and switches among the channels.
#include <winsock2.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <set>
#include <string>

#include "feeder_child.h"
#include "net_peers.h"
#include "switching_host.h"
#include "ts_check.h"
#include "wait_until.h"

namespace {

const uint16_t UDP_PID = 0x110;
const uint16_t TCP_PID = 0x120;
const uint16_t HTTP_PID = 0x130;
const uint64_t PEER_RATE = 4000000;         // bit/s
const uint64_t FAST_UDP_RATE = 40000000;    // fills the feeder's queue in a few seconds of stall
const uint32_t UDP_CHANNEL = 1, TCP_CHANNEL = 2, HTTP_CHANNEL = 3;
const size_t VISIT_PACKETS = 400;
const double VISIT_LIMIT_SECONDS = 15.0;
// A socket the feeder fails to close stays until the feeder ends; one it closes goes in
// tens of ms (a UDP reader is waited for 500 ms at most) plus what a loaded machine adds.
const DWORD CLOSE_LIMIT_MS = 2000;
const DWORD GONE_DEADLINE_MS = 5000;
const DWORD STALL_MS = 8000;                    // 40 MB at the fast rate: well past the 16 MiB queue
const double DRAIN_AFTER_STALL_SECONDS = 8.0;
const DWORD EXIT_DEADLINE_MS = 30000;
const size_t PACKET = 188;

std::string Loopback(const char* scheme, uint16_t port, const char* path = "")
{
    return std::string(scheme) + "://127.0.0.1:" + std::to_string(port) + path;
}

// A byte stream's visit may end inside a packet when the host leaves; that piece is left out.
::testing::AssertionResult IsCleanStreamOf(const Recording& recording, uint16_t pid)
{
    const size_t whole = recording.bytes.size() / PACKET * PACKET;
    const TsReport got = CheckTransportStream(recording.bytes.data(), whole);
    if (got.packets < VISIT_PACKETS)
        return ::testing::AssertionFailure() << "only " << got.packets << " packets arrived";
    if (got.strayBytes != 0)
        return ::testing::AssertionFailure() << got.strayBytes << " bytes outside whole packets";
    if (got.continuityErrors != 0)
        return ::testing::AssertionFailure() << got.continuityErrors << " continuity errors, first " << got.firstError;
    if (got.pids != std::set<uint16_t>{pid})
        return ::testing::AssertionFailure() << "PIDs " << PidList(got.pids) << ", not only " << pid;
    return ::testing::AssertionSuccess();
}

// Binds the port the feeder had: possible only once its socket is closed.
bool UdpPortFree(uint16_t port)
{
    SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool bound = bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    closesocket(s);
    return bound;
}

class FeederNet : public ::testing::Test {
protected:
    void SetUp() override
    {
        WSADATA data;
        ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
        ASSERT_TRUE(m_host.Load()) << m_host.Error();
    }
    void TearDown() override
    {
        m_feeder.Kill();
        WSACleanup();
    }

    Recording Visit(uint32_t channel)
    {
        EXPECT_TRUE(m_host.Select(channel)) << m_host.Error();
        return m_host.Drain(VISIT_LIMIT_SECONDS,
                            [](const Recording& r) { return r.bytes.size() >= (VISIT_PACKETS + 1) * PACKET; });
    }

    SwitchingHost   m_host;
    FeederChild     m_feeder;
};

TEST_F(FeederNet, AHostSwitchingAmongUdpTcpAndHttpChannelsGetsEachChannelsOwnStream)
{
    const uint16_t udpPort = FreeLoopbackPort(SOCK_DGRAM);
    UdpStreamer udp(udpPort, UDP_PID, PEER_RATE);
    StreamServer tcp(StreamServer::TCP, TCP_PID, PEER_RATE);
    StreamServer http(StreamServer::HTTP, HTTP_PID, PEER_RATE);
    ASSERT_TRUE(udp.Start() && tcp.Start() && http.Start());
    ASSERT_TRUE(m_feeder.Start({std::to_string(UDP_CHANNEL) + "=" + Loopback("udp", udpPort),
                                std::to_string(TCP_CHANNEL) + "=" + Loopback("tcp", tcp.Port()),
                                std::to_string(HTTP_CHANNEL) + "=" + Loopback("http", http.Port(), "/live.ts")}));
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        EXPECT_TRUE(IsCleanStreamOf(Visit(UDP_CHANNEL), UDP_PID)) << "udp";
        EXPECT_TRUE(IsCleanStreamOf(Visit(TCP_CHANNEL), TCP_PID)) << "tcp";
        EXPECT_TRUE(IsCleanStreamOf(Visit(HTTP_CHANNEL), HTTP_PID)) << "http";
    }
    EXPECT_EQ(tcp.Clients(), 2) << "each visit connects anew";
    EXPECT_EQ(http.Clients(), 2);
}

TEST_F(FeederNet, TheHostLeavingClosesTheSocketsPromptly)
{
    StreamServer tcp(StreamServer::TCP, TCP_PID, PEER_RATE);
    StreamServer http(StreamServer::HTTP, HTTP_PID, PEER_RATE);
    ASSERT_TRUE(tcp.Start() && http.Start());
    ASSERT_TRUE(m_feeder.Start({std::to_string(TCP_CHANNEL) + "=" + Loopback("tcp", tcp.Port()),
                                std::to_string(HTTP_CHANNEL) + "=" + Loopback("http", http.Port(), "/live.ts")}));
    for (StreamServer* server : {&tcp, &http}) {
        const uint32_t channel = server == &tcp ? TCP_CHANNEL : HTTP_CHANNEL;
        SCOPED_TRACE("channel " + std::to_string(channel));
        ASSERT_FALSE(Visit(channel).bytes.empty());
        const double left = NowSeconds();
        m_host.Leave();
        ASSERT_TRUE(WaitUntil([&] { return server->ClientGoneAt() != 0.0; }, GONE_DEADLINE_MS))
            << "the feeder kept its connection";
        const double ms = (server->ClientGoneAt() - left) * 1000.0;
        std::printf("connection closed %.0f ms after the host left\n", ms);
        EXPECT_LT(ms, CLOSE_LIMIT_MS);
        ASSERT_TRUE(m_host.Load()) << m_host.Error();
    }
}

TEST_F(FeederNet, TheHostLeavingAUdpChannelFreesItsPortPromptly)
{
    const uint16_t port = FreeLoopbackPort(SOCK_DGRAM);
    UdpStreamer udp(port, UDP_PID, PEER_RATE);
    ASSERT_TRUE(udp.Start());
    ASSERT_TRUE(m_feeder.Start({std::to_string(UDP_CHANNEL) + "=" + Loopback("udp", port)}));
    ASSERT_FALSE(Visit(UDP_CHANNEL).bytes.empty());
    ASSERT_FALSE(UdpPortFree(port)) << "the feeder should hold the port while the host stays";
    const double left = NowSeconds();
    m_host.Leave();
    ASSERT_TRUE(WaitUntil([&] { return UdpPortFree(port); }, GONE_DEADLINE_MS)) << "the feeder kept its socket";
    const double ms = (NowSeconds() - left) * 1000.0;
    std::printf("port free %.0f ms after the host left\n", ms);
    EXPECT_LT(ms, CLOSE_LIMIT_MS);
}

// Counts the packets lost between sequence numbers and the places they were lost.
struct Gaps {
    uint64_t lost = 0;
    uint64_t places = 0;
    bool     ordered = true;
};

Gaps GapsOf(const std::vector<uint8_t>& bytes)
{
    Gaps gaps;
    for (size_t at = PACKET; at + PACKET <= bytes.size(); at += PACKET) {
        const uint32_t before = SequenceOf(&bytes[at - PACKET]);
        const uint32_t now = SequenceOf(&bytes[at]);
        if (now <= before)
            gaps.ordered = false;
        else if (now != before + 1) {
            gaps.lost += now - before - 1;
            ++gaps.places;
        }
    }
    return gaps;
}

uint64_t ReportedDrops(const std::string& output, uint32_t channel)
{
    const std::string key = "channel " + std::to_string(channel) + ": visits ";
    const size_t line = output.find(key);
    const size_t drops = output.find("drops ", line == std::string::npos ? 0 : line);
    if (line == std::string::npos || drops == std::string::npos)
        return 0;
    return std::strtoull(output.c_str() + drops + 6, nullptr, 10);
}

uint64_t ReportedSkipped(const std::string& output, uint32_t channel)
{
    const size_t line = output.find("channel " + std::to_string(channel) + ": visits ");
    const size_t skipped = output.find("skipped ", line == std::string::npos ? 0 : line);
    if (line == std::string::npos || skipped == std::string::npos)
        return 0;
    return std::strtoull(output.c_str() + skipped + 8, nullptr, 10);
}

TEST_F(FeederNet, StrayBytesAndJunkInAByteStreamReachTheHostAsWholeAlignedPacketsOnlyAndAreCounted)
{
    const size_t STRAY = 77, EVERY = 150, JUNK = 31;
    StreamServer tcp(StreamServer::TCP, TCP_PID, PEER_RATE);
    tcp.AddJunk(STRAY, EVERY, JUNK);
    ASSERT_TRUE(tcp.Start());
    ASSERT_TRUE(m_feeder.Start({"--seconds", "12", std::to_string(TCP_CHANNEL) + "=" + Loopback("tcp", tcp.Port())}));
    const Recording visit = Visit(TCP_CHANNEL);
    m_host.Leave();
    const TsReport report = CheckTransportStream(visit.bytes.data(), visit.bytes.size());
    EXPECT_EQ(report.strayBytes, 0u) << "junk or a cut packet reached the host";
    EXPECT_EQ(report.pids, std::set<uint16_t>{TCP_PID});
    EXPECT_GE(report.packets, VISIT_PACKETS);
    const size_t junkPlaces = report.packets / EVERY;
    EXPECT_LE(report.continuityErrors, junkPlaces + 1) << "packets lost elsewhere than where junk was";

    ASSERT_EQ(m_feeder.Wait(EXIT_DEADLINE_MS), 0u) << m_feeder.Output();
    const uint64_t skipped = ReportedSkipped(m_feeder.Output(), TCP_CHANNEL);
    std::printf("%llu packets arrived whole; the feeder skipped %llu bytes\n",
                static_cast<unsigned long long>(report.packets), static_cast<unsigned long long>(skipped));
    // The stray start and each run of junk; a packet the junk tore would add its own bytes.
    EXPECT_GE(skipped, STRAY + junkPlaces * JUNK) << m_feeder.Output();
}

TEST_F(FeederNet, AHostThatStallsOnAUdpChannelLosesWholePacketsOnlyAndTheyAreCounted)
{
    const uint16_t port = FreeLoopbackPort(SOCK_DGRAM);
    UdpStreamer udp(port, UDP_PID, FAST_UDP_RATE);
    ASSERT_TRUE(udp.Start());
    const DWORD runSeconds = (STALL_MS / 1000) + 20;
    ASSERT_TRUE(m_feeder.Start({"--seconds", std::to_string(runSeconds),
                                std::to_string(UDP_CHANNEL) + "=" + Loopback("udp", port)}));
    Recording before = Visit(UDP_CHANNEL);
    ASSERT_FALSE(before.bytes.empty());
    Sleep(STALL_MS);    // the stall itself is what is tested: the host takes nothing meanwhile
    // The sender goes on, so that what came after the drops shows where they were.
    const double since = before.arrivals.empty() ? 0.0 : before.arrivals.back().seconds;
    Recording after = m_host.Drain(since + STALL_MS / 1000.0 + DRAIN_AFTER_STALL_SECONDS);
    udp.Stop();
    m_host.Leave();
    std::vector<uint8_t> all = before.bytes;
    all.insert(all.end(), after.bytes.begin(), after.bytes.end());

    const TsReport report = CheckTransportStream(all);
    const Gaps gaps = GapsOf(all);
    EXPECT_EQ(report.strayBytes, 0u) << "a cut packet reached the host";
    EXPECT_TRUE(gaps.ordered);
    EXPECT_GT(gaps.lost, 0u) << "the stall should have overflowed the queue";
    EXPECT_LE(report.continuityErrors, gaps.places) << "continuity broken elsewhere than at the drops";

    ASSERT_EQ(m_feeder.Wait(EXIT_DEADLINE_MS), 0u) << m_feeder.Output();
    const uint64_t reported = ReportedDrops(m_feeder.Output(), UDP_CHANNEL);
    std::printf("sent %llu packets, received %llu before the stall and %llu after, lost %llu in %llu places,"
                " the feeder counted %llu\n",
                static_cast<unsigned long long>(udp.PacketsSent()),
                static_cast<unsigned long long>(before.bytes.size() / PACKET),
                static_cast<unsigned long long>(after.bytes.size() / PACKET), static_cast<unsigned long long>(gaps.lost),
                static_cast<unsigned long long>(gaps.places), static_cast<unsigned long long>(reported));
    // The socket may lose some too when the machine is loaded; those the feeder never sees.
    EXPECT_GT(reported, 0u) << m_feeder.Output();
    EXPECT_LE(reported, gaps.lost);
}

} // namespace
