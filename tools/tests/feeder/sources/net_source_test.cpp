// The network sources' texts and the udp: source in-process, against senders on
// loopback made here with Winsock, where the test must control every datagram.
// The other network sources have files of their own beside this one.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "net_source_support.h"
#include "rtp_payload.h"
#include "source_kinds.h"
#include "udp_source.h"
#include "winsock_use.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

const uint8_t RTP_V2 = 0x80;
const uint8_t RTP_MP2T = 33;
const int FLOOD_SENDERS = 2;
const int FLOOD_ROUNDS = 7;
const size_t FLOOD_QUEUE_PACKETS = 70;
const uint64_t FLOOD_DROPS_BEFORE_CLOSE = 10000;
// Catches a Close that hangs; the source bounds itself at 500 ms, which the printed figure shows,
// but a loaded machine may keep this thread from running for longer than that.
const DWORD FLOOD_CLOSE_LIMIT_MS = 5000;

std::vector<uint8_t> RtpHeader(uint8_t csrcCount, uint16_t extensionWords)
{
    std::vector<uint8_t> header(12, 0);
    header[0] = static_cast<uint8_t>(RTP_V2 | (extensionWords > 0 ? 0x10 : 0) | csrcCount);
    header[1] = RTP_MP2T;
    header.insert(header.end(), csrcCount * 4u, 0x47);     // sync-like bytes that must not be taken
    if (extensionWords > 0) {
        const uint8_t extension[] = {0xBE, 0xDE, static_cast<uint8_t>(extensionWords >> 8),
                                     static_cast<uint8_t>(extensionWords & 0xFF)};
        header.insert(header.end(), extension, extension + 4);
        header.insert(header.end(), extensionWords * 4u, 0x47);
    }
    return header;
}


class UdpSender {
public:
    explicit UdpSender(uint16_t port) : m_socket(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP))
    {
        m_to.sin_family = AF_INET;
        m_to.sin_port = htons(port);
        m_to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    }
    ~UdpSender() { CloseAndClear(m_socket); }
    bool Send(const std::vector<uint8_t>& datagram)
    {
        return sendto(m_socket, reinterpret_cast<const char*>(datagram.data()), static_cast<int>(datagram.size()), 0,
                      reinterpret_cast<const sockaddr*>(&m_to), sizeof m_to) == static_cast<int>(datagram.size());
    }

private:
    SOCKET      m_socket;
    sockaddr_in m_to{};
};


// Senders on loopback, each as fast as it can from a thread of its own, until destroyed.
class UdpFlood {
public:
    explicit UdpFlood(uint16_t port) : m_port(port) {}
    ~UdpFlood() { Stop(); }
    void Stop()
    {
        m_stop = true;
        for (HANDLE thread : m_threads) {
            WaitForSingleObject(thread, INFINITE);
            CloseHandle(thread);
        }
        m_threads.clear();
    }
    bool Start(int senders)
    {
        for (int i = 0; i < senders; ++i) {
            const HANDLE thread = CreateThread(NULL, 0, Main, this, 0, NULL);
            if (thread == NULL)
                return false;
            m_threads.push_back(thread);
        }
        return true;
    }
    uint64_t Sent() const { return m_sent.load(); }

private:
    static DWORD WINAPI Main(void* self)
    {
        UdpFlood* flood = static_cast<UdpFlood*>(self);
        UdpSender sender(flood->m_port);
        const std::vector<uint8_t> datagram = NumberedPackets(0, 7);
        while (!flood->m_stop.load())
            if (sender.Send(datagram))
                ++flood->m_sent;
        return 0;
    }

    const uint16_t          m_port;
    std::vector<HANDLE>     m_threads;
    std::atomic<bool>       m_stop{false};
    std::atomic<uint64_t>   m_sent{0};
};

// Close on a thread of its own, so that one that never returns fails the test
// instead of hanging it: the flood is stopped then, which lets Close return.
double MillisecondsToClose(Source* source, UdpFlood* flood)
{
    LARGE_INTEGER start, end, frequency;
    QueryPerformanceCounter(&start);
    HANDLE thread = CreateThread(NULL, 0, [](void* p) -> DWORD {
        static_cast<Source*>(p)->Close();
        return 0;
    }, source, 0, NULL);
    EXPECT_NE(thread, nullptr);
    if (thread == NULL)
        return 0.0;
    const bool returned = WaitForSingleObject(thread, FLOOD_CLOSE_LIMIT_MS) == WAIT_OBJECT_0;
    QueryPerformanceCounter(&end);
    EXPECT_TRUE(returned) << "Close did not return within " << FLOOD_CLOSE_LIMIT_MS << " ms under the flood";
    if (!returned)
        flood->Stop();
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(end.QuadPart - start.QuadPart) * 1000.0 / frequency.QuadPart;
}

// ---- texts --------------------------------------------------------------------

struct Refusal {
    const char* text;
    const char* reason;     // a piece the message must hold
};

TEST(NetSourceTexts, BadTextsAreRefusedWithTheirReason)
{
    const Refusal refusals[] = {
        {"udp://239.1.1.1", "no port"},
        {"udp://239.1.1.1:0", "1-65535"},
        {"udp://239.1.1.1:65536", "1-65535"},
        {"udp://239.1.1.1:12a", "1-65535"},
        {"udp://127.300.0.1:1234", "bad address"},
        {"udp://127.0.0.01:1234", "bad address"},
        {"udp://receiver.example:1234", "dotted IPv4"},
        {"udp://239.1.1.1:1234?ttl=3", "unknown option \"ttl\""},
        {"udp://239.1.1.1:1234?interface=127.0.0.300", "bad interface"},
        {"udp://127.0.0.1:1234?interface=127.0.0.1", "multicast groups"},
        {"udp://239.1.1.1:1234?=1", "unknown option \"\""},
        {"tcp://:1234", "bad host"},
        {"tcp://127.0.0.1:70000", "1-65535"},
        {"tcp://127.0.0.1", "no port"},
        {"tcp://127.0.0.1:1234?loop", "tcp:// takes timeout=S"},
        {"tcp://127.0.0.1:1234?timeout=0", "timeout needs seconds from 0.1 to 3600, not '0'"},
        {"tcp://127.0.0.1:1234?timeout=0.05", "timeout needs seconds from 0.1 to 3600"},
        {"tcp://127.0.0.1:1234?timeout=3600.5", "timeout needs seconds from 0.1 to 3600"},
        {"tcp://127.0.0.1:1234?timeout", "timeout needs seconds"},
        {"udp://127.0.0.1:1234?timeout=-1", "timeout needs seconds from 0.1 to 3600, not '-1'"},
        {"udp://239.1.1.1:1234?interface=127.0.0.1&timeout=1e3", "timeout needs seconds"},
        {"http://127.0.0.1/live.ts?timeout=4000", "timeout needs seconds from 0.1 to 3600, not '4000'"},
        {"http://127.0.0.1/live.ts?ch=2&timeout=abc", "timeout needs seconds"},
        {"http://user:pw@127.0.0.1:0/x", "1-65535"},
        {"tcp://a b:1234", "bad host"},
        {"http://127.0.0.1:0/x", "1-65535"},
        {"http://127.0.0.1:99999/x", "1-65535"},
        {"http:///stream.ts", "bad URL"},
    };
    for (const Refusal& refusal : refusals) {
        const std::string text = refusal.text;
        std::string why;
        const SourceParser parse = text.compare(0, 4, "udp:") == 0   ? ParseUdpSource
                                   : text.compare(0, 4, "tcp:") == 0 ? ParseTcpSource
                                                                     : ParseHttpSource;
        EXPECT_FALSE(parse(text, &why)) << text;
        EXPECT_NE(why.find(refusal.reason), std::string::npos) << text << " -> " << why;
    }
}

TEST(NetSourceTexts, GoodTextsAreTakenAndKeptAsWritten)
{
    const char* texts[] = {"udp://239.1.1.1:1234", "udp://0.0.0.0:1", "udp://239.255.0.1:65535?interface=127.0.0.2",
                           "tcp://localhost:9000", "tcp://[::1]:9000", "http://127.0.0.1:8080/live.ts?x=1",
                           "https://example.invalid/a", "http://host", "tcp://127.0.0.1:9000?timeout=0.1",
                           "udp://239.1.1.1:1234?interface=127.0.0.1&timeout=3600", "http://host/a?timeout=2",
                           "http://host/a?timeout=five&timeout=2"};
    for (const char* text : texts) {
        std::string why;
        const SourceParser parse = text[0] == 'u' ? ParseUdpSource : text[0] == 't' ? ParseTcpSource : ParseHttpSource;
        std::unique_ptr<SourceConfig> config = parse(text, &why);
        ASSERT_TRUE(config) << text << ": " << why;
        EXPECT_EQ(config->Text(), text);
    }
}

// ---- datagrams ----------------------------------------------------------------

TEST(Datagrams, BareAndRtpDatagramsGiveTheirWholePacketsOnly)
{
    const std::vector<uint8_t> packets = NumberedPackets(0, 7);
    struct Case {
        const char*         name;
        std::vector<uint8_t> header;
        size_t              tail;       // bytes of a cut packet after the whole ones
    };
    const Case cases[] = {
        {"bare", {}, 0},
        {"bare with a cut packet", {}, 100},
        {"rtp", RtpHeader(0, 0), 0},
        {"rtp with sources", RtpHeader(3, 0), 0},
        {"rtp with an extension", RtpHeader(0, 2), 0},
        {"rtp with both", RtpHeader(15, 1), 0},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> datagram = c.header;
        datagram.insert(datagram.end(), packets.begin(), packets.end());
        datagram.insert(datagram.end(), packets.begin(), packets.begin() + static_cast<ptrdiff_t>(c.tail));
        const PacketSpan span = PacketsOfDatagram(datagram.data(), datagram.size());
        ASSERT_EQ(span.size, packets.size()) << c.name;
        EXPECT_EQ(0, memcmp(span.data, packets.data(), packets.size())) << c.name;
    }
}

TEST(Datagrams, RtpPaddingIsLeftOut)
{
    std::vector<uint8_t> datagram = RtpHeader(0, 0);
    datagram[0] |= 0x20;
    const std::vector<uint8_t> packets = NumberedPackets(0, 2);
    datagram.insert(datagram.end(), packets.begin(), packets.end());
    datagram.insert(datagram.end(), {0, 0, 0, 4});
    const PacketSpan span = PacketsOfDatagram(datagram.data(), datagram.size());
    EXPECT_EQ(span.size, packets.size());
}

TEST(Datagrams, DatagramsWithoutPacketsGiveNothing)
{
    std::vector<uint8_t> otherPayload = RtpHeader(0, 0);
    otherPayload[1] = 96;
    const std::vector<uint8_t> packets = NumberedPackets(0, 1);
    otherPayload.insert(otherPayload.end(), packets.begin(), packets.end());
    std::vector<uint8_t> lyingExtension = RtpHeader(0, 0);
    lyingExtension[0] |= 0x10;
    lyingExtension.insert(lyingExtension.end(), {0xBE, 0xDE, 0xFF, 0xFF});
    lyingExtension.insert(lyingExtension.end(), packets.begin(), packets.end());
    const std::vector<std::vector<uint8_t>> datagrams = {
        otherPayload, lyingExtension, std::vector<uint8_t>(188, 0x00), std::vector<uint8_t>(100, 0x47), {}};
    for (const std::vector<uint8_t>& datagram : datagrams)
        EXPECT_EQ(PacketsOfDatagram(datagram.data(), datagram.size()).size, 0u) << datagram.size() << " bytes";
}

// ---- udp ----------------------------------------------------------------------

TEST_F(NetSourceTest, UdpCarriesWholePacketsFromBareShortAndRtpDatagrams)
{
    const uint16_t port = FreeUdpPort();
    std::unique_ptr<Source> source = MakeSource("udp://127.0.0.1:" + std::to_string(port));
    ASSERT_TRUE(source->Open()) << source->Error();
    UdpSender sender(port);
    std::vector<uint8_t> rtp = RtpHeader(2, 1);
    const std::vector<uint8_t> third = NumberedPackets(8, 7);
    rtp.insert(rtp.end(), third.begin(), third.end());
    ASSERT_TRUE(sender.Send(NumberedPackets(0, 7)));
    ASSERT_TRUE(sender.Send(NumberedPackets(7, 1)));
    ASSERT_TRUE(sender.Send(rtp));
    const std::vector<uint8_t> got = ReadBytes(source.get(), 15 * TS_PACKET_BYTES);
    ASSERT_EQ(got.size(), 15 * TS_PACKET_BYTES) << source->Error();
    for (uint32_t i = 0; i < 15; ++i)
        EXPECT_EQ(PacketNumber(&got[i * TS_PACKET_BYTES]), i);
    EXPECT_EQ(source->DroppedPackets(), 0u);
}

TEST_F(NetSourceTest, UdpQueueOverflowDropsTheOldestWholePacketsAndCountsThem)
{
    const uint16_t port = FreeUdpPort();
    UdpLimits limits;
    limits.queueBytes = 20 * TS_PACKET_BYTES;
    std::unique_ptr<Source> source = MakeSource("udp://127.0.0.1:" + std::to_string(port), limits);
    ASSERT_TRUE(source->Open()) << source->Error();
    UdpSender sender(port);
    // Nobody reads: 3 datagrams of 7 packets, then single packets; 20 fit.
    for (uint32_t i = 0; i < 3; ++i)
        ASSERT_TRUE(sender.Send(NumberedPackets(i * 7, 7)));
    for (uint32_t i = 21; i < 30; ++i)
        ASSERT_TRUE(sender.Send(NumberedPackets(i, 1)));
    const ULONGLONG deadline = GetTickCount64() + DEADLINE_MS;
    while (source->DroppedPackets() < 10 && GetTickCount64() < deadline)
        Sleep(10);
    EXPECT_EQ(source->DroppedPackets(), 10u);
    std::vector<uint8_t> got(64 * 1024);
    const ReadResult r = source->Read(got.data(), got.size(), READ_WAIT_MS);
    ASSERT_EQ(r.bytes, 20 * TS_PACKET_BYTES);
    // The newest twenty, in order: a host that stalled gets the live edge.
    for (uint32_t i = 0; i < 20; ++i) {
        EXPECT_EQ(got[i * TS_PACKET_BYTES], TS_SYNC_BYTE);
        EXPECT_EQ(PacketNumber(&got[i * TS_PACKET_BYTES]), i + 10);
    }
    ASSERT_TRUE(sender.Send(NumberedPackets(100, 1)));
    const std::vector<uint8_t> after = ReadBytes(source.get(), TS_PACKET_BYTES);
    ASSERT_EQ(after.size(), TS_PACKET_BYTES);
    EXPECT_EQ(PacketNumber(after.data()), 100u) << "room made by reading is used again";
}

TEST_F(NetSourceTest, UdpCloseEndsWithinItsBoundUnderAFlood)
{
    const uint16_t port = FreeUdpPort();
    UdpFlood flood(port);
    ASSERT_TRUE(flood.Start(FLOOD_SENDERS));
    UdpLimits limits;
    limits.queueBytes = FLOOD_QUEUE_PACKETS * TS_PACKET_BYTES;     // full at once: the thread drops from then on
    std::vector<double> closeMs;
    for (int round = 0; round < FLOOD_ROUNDS; ++round) {
        std::unique_ptr<Source> source = MakeSource("udp://127.0.0.1:" + std::to_string(port), limits);
        ASSERT_TRUE(source->Open()) << source->Error();
        const ULONGLONG deadline = GetTickCount64() + DEADLINE_MS;
        while (source->DroppedPackets() < FLOOD_DROPS_BEFORE_CLOSE && GetTickCount64() < deadline)
            SwitchToThread();
        ASSERT_GE(source->DroppedPackets(), FLOOD_DROPS_BEFORE_CLOSE) << "the flood did not reach the source";
        closeMs.push_back(MillisecondsToClose(source.get(), &flood));
        if (HasFailure())
            break;
    }
    std::sort(closeMs.begin(), closeMs.end());
    std::printf("Close under a flood of %d senders (%llu datagrams sent): median %.1f ms, min %.1f, max %.1f\n",
                FLOOD_SENDERS, static_cast<unsigned long long>(flood.Sent()), closeMs[closeMs.size() / 2],
                closeMs.front(), closeMs.back());
}

TEST_F(NetSourceTest, UdpSilenceIsTroubleThatNamesTheSender)
{
    UdpLimits limits;
    limits.silenceLimitMs = 300;
    std::unique_ptr<Source> source = MakeSource("udp://127.0.0.1:" + std::to_string(FreeUdpPort()), limits);
    ASSERT_TRUE(source->Open()) << source->Error();
    EXPECT_EQ(ReadUntilFailed(source.get()), "no datagrams for 0.3 s (is the sender running?)");
}

TEST_F(NetSourceTest, UdpDatagramsWithoutPacketsAreNoSignOfLifeAndAreSaidOnce)
{
    UdpLimits limits;
    limits.silenceLimitMs = 600;
    const uint16_t port = FreeUdpPort();
    std::unique_ptr<Source> source = MakeSource("udp://127.0.0.1:" + std::to_string(port), limits);
    ASSERT_TRUE(source->Open()) << source->Error();
    UdpSender sender(port);
    std::vector<uint8_t> otherPayload = RtpHeader(0, 0);
    otherPayload[1] = 96;   // a dynamic RTP payload type: no transport stream
    otherPayload.resize(otherPayload.size() + 7 * TS_PACKET_BYTES, 0x47);
    const std::vector<uint8_t> junk(500, 0xA5);
    std::vector<uint8_t> buffer(64 * 1024);
    std::vector<std::string> notices;
    ReadResult result;
    const ULONGLONG deadline = GetTickCount64() + DEADLINE_MS;
    while (result.status != ReadStatus::FAILED && GetTickCount64() < deadline) {
        ASSERT_TRUE(sender.Send(otherPayload) && sender.Send(junk));
        result = source->Read(buffer.data(), buffer.size(), 50);
        EXPECT_NE(result.status, ReadStatus::DATA);
        const std::string notice = source->TakeNotice();
        if (!notice.empty())
            notices.push_back(notice);
    }
    ASSERT_EQ(result.status, ReadStatus::FAILED) << "datagrams without packets kept the source alive";
    EXPECT_NE(source->Error().find("datagrams that carry none were ignored"), std::string::npos) << source->Error();
    EXPECT_EQ(notices.size(), 1u);
}

TEST_F(NetSourceTest, UdpPortTakenFailsWithTheSystemReasonAndCloseFreesThePort)
{
    const std::string text = "udp://127.0.0.1:" + std::to_string(FreeUdpPort());
    std::unique_ptr<Source> first = MakeSource(text);
    std::unique_ptr<Source> second = MakeSource(text);
    ASSERT_TRUE(first->Open()) << first->Error();
    EXPECT_FALSE(second->Open());
    EXPECT_NE(second->Error().find("error 10048"), std::string::npos) << second->Error();
    first->Close();
    first->Close();
    EXPECT_TRUE(second->Open()) << "the first source kept its socket after Close: " << second->Error();
}

TEST_F(NetSourceTest, ReadNeverWaitsLongerThanAsked)
{
    std::unique_ptr<Source> udp = MakeSource("udp://127.0.0.1:" + std::to_string(FreeUdpPort()));
    ASSERT_TRUE(udp->Open());
    std::vector<uint8_t> buffer(64 * 1024);
    // Generous: a loaded machine is slow, but a source that blocks blocks for ever.
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(udp->Read(buffer.data(), buffer.size(), 20).status, ReadStatus::NOTHING_YET);
    EXPECT_LT(GetTickCount64() - start, 2000u);
}

// ---- udp and cmd timeouts -----------------------------------------------------

TEST_F(NetSourceTest, UdpTimeoutOptionSetsItsSilenceLimit)
{
    std::unique_ptr<Source> source = MakeSource("udp://127.0.0.1:" + std::to_string(FreeUdpPort()) + "?timeout=0.2");
    ASSERT_TRUE(source->Open()) << source->Error();
    EXPECT_EQ(ReadUntilFailed(source.get()), "no datagrams for 0.2 s (is the sender running?)");
}

} // namespace
