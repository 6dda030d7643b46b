// The tcp: source in-process, against a server on loopback made here with Winsock.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "net_source_support.h"
#include "tcp_source.h"
#include "tcp_test_server.h"
#include "ts_packet.h"

namespace {

std::unique_ptr<Source> MakeTcpSource(uint16_t port, const std::string& query = "",
                                      const std::string& host = "127.0.0.1", ResolveFunction resolve = getaddrinfo)
{
    std::string why;
    std::unique_ptr<SourceConfig> config =
        ParseTcpSourceWith("tcp://" + host + ":" + std::to_string(port) + query, resolve, &why);
    EXPECT_TRUE(config) << why;
    return config ? config->Create() : nullptr;
}

// A name service that answers only when the test lets it, or at the deadline.
HANDLE g_hAnswerNames = NULL;
volatile LONG g_lLookups = 0;
INT WSAAPI SlowResolve(PCSTR, PCSTR service, const ADDRINFOA* hints, PADDRINFOA* result)
{
    InterlockedIncrement(&g_lLookups);
    WaitForSingleObject(g_hAnswerNames, DEADLINE_MS);
    return getaddrinfo("127.0.0.1", service, hints, result);
}


// A program the feeder starts (another channel's cmd:) while a socket is open,
// played here by this test program started suspended: it holds whatever it
// inherited until it is ended.
class InheritingProgram {
public:
    InheritingProgram()
    {
        wchar_t self[MAX_PATH];
        GetModuleFileNameW(NULL, self, MAX_PATH);
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        m_started = CreateProcessW(self, NULL, NULL, NULL, TRUE, CREATE_SUSPENDED, NULL, NULL, &startup, &m_process);
    }
    ~InheritingProgram()
    {
        if (!m_started)
            return;
        TerminateProcess(m_process.hProcess, 0);
        CloseHandle(m_process.hThread);
        CloseHandle(m_process.hProcess);
    }
    bool Started() const { return m_started != FALSE; }

private:
    PROCESS_INFORMATION m_process = {};
    BOOL                m_started = FALSE;
};

TEST_F(NetSourceTest, TcpCarriesEveryByteThenTheServerClosingIsTrouble)
{
    TcpServer server;
    std::unique_ptr<Source> source = MakeTcpSource(server.Port());
    ASSERT_TRUE(source->Open()) << source->Error();
    const std::vector<uint8_t> stream = NumberedPackets(0, 500);
    ASSERT_TRUE(server.AcceptAndSend(stream));
    EXPECT_EQ(ReadBytes(source.get(), stream.size()), stream);
    server.Hangup();
    EXPECT_EQ(ReadUntilFailed(source.get()), "the server closed the connection");
}

// A refusal on loopback is there before Open returns, so the channel never shows streaming.
TEST_F(NetSourceTest, TcpRefusedFailsOpenWithTheSystemReason)
{
    std::unique_ptr<Source> source = MakeTcpSource(FreeUdpPort());
    EXPECT_FALSE(source->Open());
    EXPECT_EQ(source->Error().find("cannot connect: error 10061"), 0u) << source->Error();
}

TEST_F(NetSourceTest, AProgramStartedMeanwhileKeepsNeitherAClosedPortNorAClosedConnection)
{
    const DWORD CLOSED_WITHIN_MS = 2000;
    const std::string udpText = "udp://127.0.0.1:" + std::to_string(FreeUdpPort());
    std::unique_ptr<Source> udp = MakeSource(udpText);
    TcpServer server;
    std::unique_ptr<Source> tcp = MakeTcpSource(server.Port());
    ASSERT_TRUE(udp->Open()) << udp->Error();
    ASSERT_TRUE(tcp->Open()) << tcp->Error();
    ASSERT_TRUE(server.Accept());
    InheritingProgram program;
    ASSERT_TRUE(program.Started());
    udp->Close();
    tcp->Close();
    std::unique_ptr<Source> again = MakeSource(udpText);
    EXPECT_TRUE(again->Open()) << "the program kept the port: " << again->Error();
    EXPECT_TRUE(server.PeerClosed(CLOSED_WITHIN_MS)) << "the program kept the connection open";
}

TEST_F(NetSourceTest, TcpServerThatAcceptsAndNeverSendsFailsAfterItsTimeout)
{
    TcpServer server;
    std::unique_ptr<Source> source = MakeTcpSource(server.Port(), "?timeout=0.3");
    const ULONGLONG start = GetTickCount64();
    ASSERT_TRUE(source->Open()) << source->Error();
    ASSERT_TRUE(server.Accept());
    EXPECT_EQ(ReadUntilFailed(source.get()), "no data for 0.3 s (is the server sending?)");
    EXPECT_GE(GetTickCount64() - start, 300u) << "failed before its timeout";
}

TEST_F(NetSourceTest, TcpDataKeepsTheTimeoutAway)
{
    TcpServer server;
    std::unique_ptr<Source> source = MakeTcpSource(server.Port(), "?timeout=1");
    ASSERT_TRUE(source->Open()) << source->Error();
    ASSERT_TRUE(server.AcceptAndSend(NumberedPackets(0, 1)));
    std::vector<uint8_t> buffer(64 * 1024);
    // Each packet comes well within the limit; together they outlast it.
    for (uint32_t i = 1; i <= 5; ++i) {
        ASSERT_EQ(ReadBytes(source.get(), TS_PACKET_BYTES).size(), TS_PACKET_BYTES) << source->Error();
        const ULONGLONG due = GetTickCount64() + 300;
        while (GetTickCount64() < due)
            ASSERT_NE(source->Read(buffer.data(), buffer.size(), READ_WAIT_MS).status, ReadStatus::FAILED)
                << source->Error();
        ASSERT_TRUE(server.Send(std::string(TS_PACKET_BYTES, '\x47')));
    }
}

TEST_F(NetSourceTest, TcpHostNamesAreLookedUpAsideAndConnected)
{
    TcpServer server;
    std::unique_ptr<Source> source = MakeTcpSource(server.Port(), "", "localhost");
    ASSERT_TRUE(source->Open()) << source->Error();
    const std::vector<uint8_t> stream = NumberedPackets(0, 20);
    ASSERT_TRUE(server.AcceptAndSend(stream));
    EXPECT_EQ(ReadBytes(source.get(), stream.size()), stream) << source->Error();
}

// Open, Read and Close keep to their waits while the name service takes its
// time, so the host leaving and the feeder stopping are never held up by it.
TEST_F(NetSourceTest, TcpSlowNameServiceHoldsUpNeitherOpenNorReadNorClose)
{
    const ULONGLONG LOADED_MACHINE_MS = 2000;
    g_hAnswerNames = CreateEventW(NULL, TRUE, FALSE, NULL);
    ASSERT_NE(g_hAnswerNames, nullptr);
    TcpServer server;
    std::unique_ptr<Source> source = MakeTcpSource(server.Port(), "", "slow.example", SlowResolve);
    ULONGLONG start = GetTickCount64();
    EXPECT_TRUE(source->Open()) << source->Error();
    EXPECT_LT(GetTickCount64() - start, LOADED_MACHINE_MS) << "Open waited for the name service";
    std::vector<uint8_t> buffer(1024);
    start = GetTickCount64();
    EXPECT_EQ(source->Read(buffer.data(), buffer.size(), READ_WAIT_MS).status, ReadStatus::NOTHING_YET);
    EXPECT_LT(GetTickCount64() - start, LOADED_MACHINE_MS) << "Read waited for the name service";
    EXPECT_EQ(g_lLookups, 1);
    start = GetTickCount64();
    source.reset();
    EXPECT_LT(GetTickCount64() - start, LOADED_MACHINE_MS) << "Close waited for the name service";
    // A second source gets its answer once the name service gives it.
    SetEvent(g_hAnswerNames);
    source = MakeTcpSource(server.Port(), "", "slow.example", SlowResolve);
    ASSERT_TRUE(source->Open()) << source->Error();
    const std::vector<uint8_t> stream = NumberedPackets(0, 5);
    ASSERT_TRUE(server.AcceptAndSend(stream));
    EXPECT_EQ(ReadBytes(source.get(), stream.size()), stream) << source->Error();
}

} // namespace
