// The status page of the feeder run as a service: served as in a console, and when
// its port is taken the service goes on feeding without it, saying so in its log.
#include <winsock2.h>

#include "feeder_service_fixture.h"

namespace {

const char STATUS_PATH_REQUEST[] = "GET /status.json HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
const DWORD PAGE_DEADLINE_MS = 15000;
const int RECEIVE_PIECE = 4096;
// Ports below the range the system hands out on its own: one held and then let go
// stays free for the service, as no other program is given it meanwhile.
const uint16_t OWN_PORTS_FIRST = 20000;
const uint16_t OWN_PORTS_COUNT = 12000;
const int      OWN_PORT_TRIES = 100;

// A loopback socket listening on a port below the system's own range; its port in *port.
SOCKET ListenOnLoopback(uint16_t* port)
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    for (int attempt = 0; attempt < OWN_PORT_TRIES; ++attempt) {
        *port = static_cast<uint16_t>(OWN_PORTS_FIRST + (GetCurrentProcessId() * 7919u + attempt * 97u) % OWN_PORTS_COUNT);
        address.sin_port = htons(*port);
        if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
            break;
    }
    EXPECT_EQ(listen(s, 1), 0) << WSAGetLastError();
    return s;
}

// The whole answer to one request for status.json, or empty when nothing answered.
std::string AskStatus(uint16_t port)
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string answer;
    if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0
        && send(s, STATUS_PATH_REQUEST, sizeof STATUS_PATH_REQUEST - 1, 0) > 0) {
        char piece[RECEIVE_PIECE];
        for (int got; (got = recv(s, piece, sizeof piece, 0)) > 0;)
            answer.append(piece, got);
    }
    closesocket(s);
    return answer;
}

class FeederServiceStatus : public FeederService {
protected:
    void SetUp() override
    {
        WSADATA data;
        ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
        FeederService::SetUp();
    }
    void TearDown() override
    {
        FeederService::TearDown();
        WSACleanup();
    }
};

TEST_F(FeederServiceStatus, ItServesThePageAndWithItsPortTakenFeedsOnWithoutItSayingSo)
{
    WriteMap("2 = file:" + StreamPath("clip_a.ts") + "?loop\n");
    uint16_t taken = 0;
    SOCKET holder = ListenOnLoopback(&taken);
    ASSERT_TRUE(Install({"--status", std::to_string(taken)}));
    {
        ScHandle service(OpenService());
        ASSERT_NE(service.Get(), nullptr) << GetLastError();
        ASSERT_TRUE(Start(service.Get()));
        EXPECT_TRUE(LogHolds("no status page: cannot listen on 127.0.0.1:" + std::to_string(taken)));
        EXPECT_TRUE(LogHolds("channel 2: watching for a host"));
        TimedStop(service.Get());
    }
    closesocket(holder);
    std::string output;
    ASSERT_EQ(RunFeeder({"--remove-service"}, &output), 0u) << output;

    const uint16_t port = taken;     // free again, and handed to no one else meanwhile
    ASSERT_TRUE(Install({"--status", std::to_string(port)}));
    ScHandle service(OpenService());
    ASSERT_NE(service.Get(), nullptr) << GetLastError();
    ASSERT_TRUE(Start(service.Get()));
    std::string answer;
    EXPECT_TRUE(WaitUntil([&] { return (answer = AskStatus(port)).find("\"channel\":2") != std::string::npos; },
                          PAGE_DEADLINE_MS))
        << "answer: " << answer << "\nlog:\n" << ReadText(m_log);
    EXPECT_EQ(answer.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << answer;
    EXPECT_NE(answer.find("\"state\":\"waiting for a host\""), std::string::npos) << answer;
    TimedStop(service.Get());
}

} // namespace
