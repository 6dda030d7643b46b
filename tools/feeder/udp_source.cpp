#include <winsock2.h>
#include <ws2tcpip.h>

#include "udp_source.h"

#include "rtp_payload.h"
#include "source_kinds.h"
#include "net_address.h"
#include "source_query.h"
#include "stream_queue.h"
#include "system_error.h"
#include "winsock_use.h"

#include <atomic>
#include <vector>

namespace {

const char UDP_PREFIX[] = "udp://";
const int UDP_RECEIVE_BUFFER_BYTES = 8 * 1024 * 1024;  // a burst waits here while the thread is busy
const size_t DATAGRAM_CAPACITY = 64 * 1024;             // the largest UDP datagram
const uint32_t MULTICAST_MASK = 0xF0000000;             // 224.0.0.0/4
const uint32_t MULTICAST_NET = 0xE0000000;

struct UdpEndpoint {
    sockaddr_in local{};        // what is bound: the address itself, or any address for a group
    bool        multicast = false;
    ip_mreq     membership{};   // the group and the interface that joins it
};

class UdpSource : public Source {
public:
    UdpSource(const UdpEndpoint& endpoint, const UdpLimits& limits)
        : m_endpoint(endpoint), m_limits(limits), m_queue(limits.queueBytes, TS_PACKET_BYTES) {}
    ~UdpSource() override { Close(); }

    bool Open() override;
    ReadResult Read(uint8_t* dst, size_t capacity, DWORD waitMs) override;
    void Close() override;
    uint64_t DroppedPackets() const override { return m_dropped.load(); }

private:
    bool Fail(const std::string& what);
    bool OpenSocket();
    bool StartReceiving();
    static DWORD WINAPI ReceiveThread(void* self);
    void ReceiveLoop();
    bool DrainSocket(std::vector<uint8_t>* datagram);

    const UdpEndpoint       m_endpoint;
    const UdpLimits         m_limits;
    StreamQueue             m_queue;
    SOCKET                  m_socket = INVALID_SOCKET;
    HANDLE                  m_hReadable = NULL;     // signalled by Winsock when datagrams wait
    HANDLE                  m_hStop = NULL;         // set by Close for the receiving thread
    HANDLE                  m_hThread = NULL;
    std::atomic<uint64_t>   m_dropped{0};
    std::atomic<ULONGLONG>  m_lastArrival{0};       // tick of the last datagram, or of Open
    std::atomic<int>        m_receiveError{0};      // set by the receiving thread before it ends
};

bool UdpSource::Fail(const std::string& what)
{
    m_error = what;
    Close();
    return false;
}

bool UdpSource::OpenSocket()
{
    m_socket = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (m_socket == INVALID_SOCKET)
        return Fail("cannot make a socket: " + LastSocketErrorText());
    // Best effort: the system may cap it, and a smaller buffer still works.
    const int bufferBytes = UDP_RECEIVE_BUFFER_BYTES;
    setsockopt(m_socket, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&bufferBytes), sizeof bufferBytes);
    if (m_endpoint.multicast) {
        // Several programs may listen to one group.
        const BOOL reuse = TRUE;
        setsockopt(m_socket, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse), sizeof reuse);
    }
    if (bind(m_socket, reinterpret_cast<const sockaddr*>(&m_endpoint.local), sizeof m_endpoint.local) != 0)
        return Fail("cannot receive on this port: " + LastSocketErrorText()
                    + " (is another program receiving on it?)");
    if (m_endpoint.multicast
        && setsockopt(m_socket, IPPROTO_IP, IP_ADD_MEMBERSHIP, reinterpret_cast<const char*>(&m_endpoint.membership),
                      sizeof m_endpoint.membership) != 0)
        return Fail("cannot join the multicast group: " + LastSocketErrorText()
                    + " (check ?interface= and that the network carries multicast)");
    return true;
}

bool UdpSource::StartReceiving()
{
    m_hReadable = WSACreateEvent();
    m_hStop = CreateEventW(NULL, TRUE, FALSE, NULL);
    if (m_hReadable == WSA_INVALID_EVENT || m_hStop == NULL) {
        m_hReadable = m_hReadable == WSA_INVALID_EVENT ? NULL : m_hReadable;
        return Fail("cannot make an event: " + SystemErrorText(GetLastError()));
    }
    // Also makes the socket non-blocking, so the thread drains it without waiting.
    if (WSAEventSelect(m_socket, m_hReadable, FD_READ) != 0)
        return Fail("cannot watch the socket: " + LastSocketErrorText());
    m_lastArrival = GetTickCount64();
    m_hThread = CreateThread(NULL, 0, ReceiveThread, this, 0, NULL);
    if (m_hThread == NULL)
        return Fail("cannot start the receiving thread: " + SystemErrorText(GetLastError()));
    return true;
}

bool UdpSource::Open()
{
    std::string why;
    if (!StartWinsock(&why))
        return Fail(why);
    return OpenSocket() && StartReceiving();
}

DWORD WINAPI UdpSource::ReceiveThread(void* self)
{
    static_cast<UdpSource*>(self)->ReceiveLoop();
    return 0;
}

void UdpSource::ReceiveLoop()
{
    std::vector<uint8_t> datagram(DATAGRAM_CAPACITY);
    const HANDLE handles[] = {m_hStop, m_hReadable};
    for (;;) {
        const DWORD woke = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
        if (woke != WAIT_OBJECT_0 + 1)
            return;
        WSAResetEvent(m_hReadable);
        if (!DrainSocket(&datagram))
            return;
    }
}

// Takes every datagram waiting; false on a socket error that ends receiving.
bool UdpSource::DrainSocket(std::vector<uint8_t>* datagram)
{
    for (;;) {
        const int got = recv(m_socket, reinterpret_cast<char*>(datagram->data()), static_cast<int>(datagram->size()), 0);
        if (got < 0) {
            const int error = WSAGetLastError();
            // Would block: drained. Reset: an ICMP answer to some earlier send, harmless here.
            if (error == WSAEWOULDBLOCK)
                return true;
            if (error == WSAECONNRESET || error == WSAEMSGSIZE)
                continue;
            m_receiveError = error;
            return false;
        }
        m_lastArrival = GetTickCount64();
        const PacketSpan packets = PacketsOfDatagram(datagram->data(), static_cast<size_t>(got));
        if (packets.size > 0)
            m_dropped += m_queue.PushOrDrop(packets.data, packets.size);
    }
}

ReadResult UdpSource::Read(uint8_t* dst, size_t capacity, DWORD waitMs)
{
    ReadResult result;
    result.bytes = m_queue.Pop(dst, capacity, waitMs);
    if (result.bytes > 0) {
        result.status = ReadStatus::DATA;
        return result;
    }
    if (m_receiveError != 0) {
        m_error = "receiving failed: " + SystemErrorText(static_cast<DWORD>(m_receiveError.load()));
        result.status = ReadStatus::FAILED;
    } else if (GetTickCount64() - m_lastArrival >= m_limits.silenceLimitMs) {
        m_error = "no datagrams for " + SilenceLimitText(m_limits.silenceLimitMs) + " s (is the sender running?)";
        result.status = ReadStatus::FAILED;
    }
    return result;
}

void UdpSource::Close()
{
    if (m_hThread != NULL) {
        SetEvent(m_hStop);
        WaitForSingleObject(m_hThread, INFINITE);
        CloseHandle(m_hThread);
        m_hThread = NULL;
    }
    CloseAndClear(m_socket);
    if (m_hReadable != NULL)
        WSACloseEvent(m_hReadable);
    m_hReadable = NULL;
    if (m_hStop != NULL)
        CloseHandle(m_hStop);
    m_hStop = NULL;
}

class UdpConfig : public SourceConfig {
public:
    UdpConfig(const std::string& text, const UdpEndpoint& endpoint, const UdpLimits& limits)
        : m_text(text), m_endpoint(endpoint), m_limits(limits) {}
    std::unique_ptr<Source> Create() const override
    {
        return std::unique_ptr<Source>(new UdpSource(m_endpoint, m_limits));
    }
    const std::string& Text() const override { return m_text; }

private:
    const std::string   m_text;
    const UdpEndpoint   m_endpoint;
    const UdpLimits     m_limits;
};

bool ApplyUdpOption(const QueryOption& option, UdpEndpoint* endpoint, UdpLimits* limits, std::string* why)
{
    if (option.name == SILENCE_OPTION)
        return ParseSilenceLimit(option.value, &limits->silenceLimitMs, why);
    if (option.name != "interface") {
        *why = "unknown option \"" + option.name + "\" (udp:// takes interface=ADDRESS and timeout=S)";
        return false;
    }
    if (!endpoint->multicast) {
        *why = "interface= applies to multicast groups (224.0.0.0-239.255.255.255) only;"
               " to receive on one interface, give its address instead";
        return false;
    }
    if (!ParseIPv4(option.value, &endpoint->membership.imr_interface)) {
        *why = "bad interface \"" + option.value + "\" (a dotted IPv4 address of this computer)";
        return false;
    }
    return true;
}

} // namespace

std::unique_ptr<SourceConfig> ParseUdpSourceWith(const std::string& text, const UdpLimits& given,
                                                 std::string* why)
{
    UdpLimits limits = given;
    const SourceQuery query = SplitSourceQuery(text.substr(sizeof UDP_PREFIX - 1));
    const std::string& address = query.base;
    const std::vector<QueryOption>& options = query.options;
    std::string host;
    uint16_t port = 0;
    if (!ParseHostPort(address, &host, &port, why))
        return nullptr;
    UdpEndpoint endpoint;
    in_addr ip{};
    if (!ParseIPv4(host, &ip)) {
        *why = "bad address \"" + host + "\" (a dotted IPv4 address such as 239.1.1.1, or 0.0.0.0 for all interfaces)";
        return nullptr;
    }
    endpoint.multicast = (ntohl(ip.s_addr) & MULTICAST_MASK) == MULTICAST_NET;
    endpoint.local.sin_family = AF_INET;
    endpoint.local.sin_port = htons(port);
    endpoint.local.sin_addr.s_addr = endpoint.multicast ? htonl(INADDR_ANY) : ip.s_addr;
    endpoint.membership.imr_multiaddr = ip;
    endpoint.membership.imr_interface.s_addr = htonl(INADDR_ANY);
    for (const QueryOption& option : options)
        if (!ApplyUdpOption(option, &endpoint, &limits, why))
            return nullptr;
    return std::unique_ptr<SourceConfig>(new UdpConfig(text, endpoint, limits));
}

std::unique_ptr<SourceConfig> ParseUdpSource(const std::string& text, std::string* why)
{
    return ParseUdpSourceWith(text, UdpLimits(), why);
}
