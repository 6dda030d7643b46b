#include <winsock2.h>
#include <ws2tcpip.h>

#include "udp_source.h"

#include "rtp_payload.h"
#include "silence_limit.h"
#include "source_kinds.h"
#include "udp_settings.h"
#include "stream_queue.h"
#include "system_error.h"
#include "winsock_use.h"

#include <atomic>
#include <memory>
#include <vector>

namespace {

const int UDP_RECEIVE_BUFFER_BYTES = 8 * 1024 * 1024;  // a burst waits here while the thread is busy
const size_t DATAGRAM_CAPACITY = 64 * 1024;             // the largest UDP datagram
// Datagrams taken between two looks at the stop event: a flood never keeps it waiting long.
const size_t UDP_DRAIN_DATAGRAMS = 64;
// Close waits this long for the receiving thread; a flood ends it within one pass.
const DWORD UDP_CLOSE_WAIT_MS = 500;

struct UdpEndpoint {
    sockaddr_in local{};        // what is bound: the address itself, or any address for a group
    bool        multicast = false;
    ip_mreq     membership{};   // the group and the interface that joins it
};

// What the source and its receiving thread share. The thread holds a reference of
// its own, so a Close that stops waiting for a late thread frees nothing it uses.
struct UdpReceiver {
    explicit UdpReceiver(size_t queueBytes) : queue(queueBytes, TS_PACKET_BYTES) {}
    ~UdpReceiver();

    StreamQueue             queue;
    SOCKET                  socket = INVALID_SOCKET;
    HANDLE                  hReadable = NULL;       // signalled by Winsock when datagrams wait
    HANDLE                  hStop = NULL;           // set by Close for the receiving thread
    std::atomic<uint64_t>   dropped{0};
    std::atomic<uint64_t>   strayDatagrams{0};      // datagrams with no transport-stream packet in them
    std::atomic<ULONGLONG>  lastArrival{0};         // tick of the last datagram with packets, or of Open
    std::atomic<int>        receiveError{0};        // set by the receiving thread before it ends
};

UdpReceiver::~UdpReceiver()
{
    CloseAndClear(socket);
    if (hReadable != NULL)
        WSACloseEvent(hReadable);
    if (hStop != NULL)
        CloseHandle(hStop);
}

enum class DrainOutcome { EMPTY, MORE, FAILED };

// Takes up to UDP_DRAIN_DATAGRAMS waiting datagrams, so that a flood never keeps
// the thread from seeing its stop event for long.
DrainOutcome DrainSocket(UdpReceiver* rx, std::vector<uint8_t>* datagram)
{
    for (size_t taken = 0; taken < UDP_DRAIN_DATAGRAMS; ++taken) {
        const int got = recv(rx->socket, reinterpret_cast<char*>(datagram->data()), static_cast<int>(datagram->size()), 0);
        if (got < 0) {
            const int error = WSAGetLastError();
            // Would block: drained. Reset: an ICMP answer to some earlier send, harmless here.
            if (error == WSAEWOULDBLOCK)
                return DrainOutcome::EMPTY;
            if (error == WSAECONNRESET || error == WSAEMSGSIZE)
                continue;
            rx->receiveError = error;
            return DrainOutcome::FAILED;
        }
        const PacketSpan packets = PacketsOfDatagram(datagram->data(), static_cast<size_t>(got));
        if (packets.size == 0) {
            ++rx->strayDatagrams;   // no sign of life: a stream that carries none is as good as silent
            continue;
        }
        rx->lastArrival = GetTickCount64();
        rx->dropped += rx->queue.PushDroppingOldest(packets.data, packets.size);
    }
    return DrainOutcome::MORE;
}

void ReceiveLoop(UdpReceiver* rx)
{
    std::vector<uint8_t> datagram(DATAGRAM_CAPACITY);
    // The stop event comes first: when both are set, the wait answers with it.
    const HANDLE handles[] = {rx->hStop, rx->hReadable};
    for (;;) {
        const DWORD woke = WaitForMultipleObjects(ARRAYSIZE(handles), handles, FALSE, INFINITE);
        if (woke != WAIT_OBJECT_0 + 1)
            return;
        WSAResetEvent(rx->hReadable);
        const DrainOutcome outcome = DrainSocket(rx, &datagram);
        if (outcome == DrainOutcome::FAILED)
            return;
        if (outcome == DrainOutcome::MORE)
            WSASetEvent(rx->hReadable);     // more wait: the next pass comes after a look at the stop event
    }
}

DWORD WINAPI ReceiveThread(void* param)
{
    std::unique_ptr<std::shared_ptr<UdpReceiver>> rx(static_cast<std::shared_ptr<UdpReceiver>*>(param));
    ReceiveLoop(rx->get());
    return 0;
}

class UdpSource : public Source {
public:
    UdpSource(const UdpEndpoint& endpoint, const UdpLimits& limits)
        : m_endpoint(endpoint), m_limits(limits) {}
    ~UdpSource() override { Close(); }

    bool Open() override;
    ReadResult Read(uint8_t* dst, size_t capacity, DWORD waitMs) override;
    void Close() override;
    uint64_t DroppedPackets() const override { return m_rx ? m_rx->dropped.load() : m_droppedAtClose; }
    std::string TakeNotice() override;

private:
    bool Fail(const std::string& what);
    bool OpenSocket();
    bool StartReceiving();

    const UdpEndpoint               m_endpoint;
    const UdpLimits                 m_limits;
    std::shared_ptr<UdpReceiver>    m_rx;               // null until opened and once closed
    HANDLE                          m_hThread = NULL;
    uint64_t                        m_droppedAtClose = 0;
    bool                            m_strayNoticed = false;     // said once per opening
};

bool UdpSource::Fail(const std::string& what)
{
    m_error = what;
    Close();
    return false;
}

bool UdpSource::OpenSocket()
{
    SOCKET& s = m_rx->socket;
    s = OpenPrivateSocket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET)
        return Fail("cannot make a socket: " + LastSocketErrorText());
    // Best effort: the system may cap it, and a smaller buffer still works.
    const int bufferBytes = UDP_RECEIVE_BUFFER_BYTES;
    setsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&bufferBytes), sizeof bufferBytes);
    if (m_endpoint.multicast) {
        // Several programs may listen to one group.
        const BOOL reuse = TRUE;
        setsockopt(s, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse), sizeof reuse);
    }
    if (bind(s, reinterpret_cast<const sockaddr*>(&m_endpoint.local), sizeof m_endpoint.local) != 0)
        return Fail("cannot receive on this port: " + LastSocketErrorText()
                    + " (is another program receiving on it?)");
    if (m_endpoint.multicast
        && setsockopt(s, IPPROTO_IP, IP_ADD_MEMBERSHIP, reinterpret_cast<const char*>(&m_endpoint.membership),
                      sizeof m_endpoint.membership) != 0)
        return Fail("cannot join the multicast group: " + LastSocketErrorText()
                    + " (check ?interface= and that the network carries multicast)");
    return true;
}

bool UdpSource::StartReceiving()
{
    const HANDLE readable = WSACreateEvent();
    m_rx->hReadable = readable == WSA_INVALID_EVENT ? NULL : readable;
    m_rx->hStop = CreateEventW(NULL, TRUE, FALSE, NULL);
    if (m_rx->hReadable == NULL || m_rx->hStop == NULL)
        return Fail("cannot make an event: " + SystemErrorText(GetLastError()));
    // Also makes the socket non-blocking, so the thread drains it without waiting.
    if (WSAEventSelect(m_rx->socket, m_rx->hReadable, FD_READ) != 0)
        return Fail("cannot watch the socket: " + LastSocketErrorText());
    m_rx->lastArrival = GetTickCount64();
    std::unique_ptr<std::shared_ptr<UdpReceiver>> threadsOwn(new std::shared_ptr<UdpReceiver>(m_rx));
    m_hThread = CreateThread(NULL, 0, ReceiveThread, threadsOwn.get(), 0, NULL);
    if (m_hThread == NULL)
        return Fail("cannot start the receiving thread: " + SystemErrorText(GetLastError()));
    threadsOwn.release();   // the thread's now
    return true;
}

bool UdpSource::Open()
{
    std::string why;
    if (!StartWinsock(&why))
        return Fail(why);
    Close();    // a source opened again after a failure starts afresh
    m_rx = std::make_shared<UdpReceiver>(m_limits.queueBytes);
    return OpenSocket() && StartReceiving();
}

std::string UdpSource::TakeNotice()
{
    if (m_strayNoticed || !m_rx || m_rx->strayDatagrams.load() == 0)
        return std::string();
    m_strayNoticed = true;
    return "ignoring datagrams that carry no transport-stream packets (another RTP payload, or no stream)";
}

ReadResult UdpSource::Read(uint8_t* dst, size_t capacity, DWORD waitMs)
{
    ReadResult result;
    if (!m_rx) {
        m_error = "the source is not open";
        result.status = ReadStatus::FAILED;
        return result;
    }
    result.bytes = m_rx->queue.Pop(dst, capacity, waitMs);
    if (result.bytes > 0) {
        result.status = ReadStatus::DATA;
        return result;
    }
    if (m_rx->receiveError != 0) {
        m_error = "receiving failed: " + SystemErrorText(static_cast<DWORD>(m_rx->receiveError.load()));
        result.status = ReadStatus::FAILED;
    } else if (GetTickCount64() - m_rx->lastArrival >= m_limits.silenceLimitMs) {
        const uint64_t stray = m_rx->strayDatagrams.load();
        m_error = stray == 0 ? "no datagrams for " + SilenceLimitText(m_limits.silenceLimitMs) + " s (is the sender running?)"
                             : "no transport-stream packets for " + SilenceLimitText(m_limits.silenceLimitMs) + " s; "
                                   + std::to_string(stray) + " datagrams that carry none were ignored"
                                   + " (is the sender sending a transport stream?)";
        result.status = ReadStatus::FAILED;
    }
    return result;
}

void UdpSource::Close()
{
    if (!m_rx)
        return;
    if (m_hThread != NULL) {
        SetEvent(m_rx->hStop);
        // A thread that overruns keeps the socket until it ends; the channel goes on without it.
        WaitForSingleObject(m_hThread, UDP_CLOSE_WAIT_MS);
        CloseHandle(m_hThread);
        m_hThread = NULL;
    }
    m_droppedAtClose = m_rx->dropped.load();
    m_rx.reset();   // the socket closes here once the thread has let go of it
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

// The endpoint the settings name, in network byte order.
UdpEndpoint MakeEndpoint(const UdpSettings& settings)
{
    UdpEndpoint endpoint;
    const u_long ip = htonl(settings.address);
    endpoint.multicast = settings.multicast;
    endpoint.local.sin_family = AF_INET;
    endpoint.local.sin_port = htons(settings.port);
    endpoint.local.sin_addr.s_addr = settings.multicast ? htonl(INADDR_ANY) : ip;
    endpoint.membership.imr_multiaddr.s_addr = ip;
    endpoint.membership.imr_interface.s_addr = htonl(settings.interfaceAddress);
    return endpoint;
}

} // namespace

std::unique_ptr<SourceConfig> ParseUdpSourceWith(const std::string& text, const UdpLimits& given,
                                                 std::string* why)
{
    UdpSettings settings;
    if (!ParseUdpSettings(text, &settings, why))
        return nullptr;
    UdpLimits limits = given;
    if (settings.silenceGiven)
        limits.silenceLimitMs = settings.silenceLimitMs;
    return std::unique_ptr<SourceConfig>(new UdpConfig(text, MakeEndpoint(settings), limits));
}

std::unique_ptr<SourceConfig> ParseUdpSource(const std::string& text, std::string* why)
{
    return ParseUdpSourceWith(text, UdpLimits(), why);
}
