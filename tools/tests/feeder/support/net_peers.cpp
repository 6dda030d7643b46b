#include "net_peers.h"

#include <cstring>
#include <string>

namespace {

const size_t PACKET = 188;
const size_t PACKETS_PER_DATAGRAM = 7;
const double BITS_PER_PACKET = PACKET * 8.0;
const DWORD TICK_MS = 1;
const long ACCEPT_POLL_US = 20000;
const long CLIENT_POLL_US = 1000;
const DWORD REQUEST_LIMIT_MS = 5000;
const char HTTP_ANSWER[] = "HTTP/1.1 200 OK\r\nContent-Type: video/MP2T\r\nConnection: close\r\n\r\n";

sockaddr_in Loopback(uint16_t port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    memcpy(&address.sin_addr, LOOPBACK_OCTETS, sizeof LOOPBACK_OCTETS);
    return address;
}

bool Readable(SOCKET s, long waitUs)
{
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval tv = {0, waitUs};
    return select(0, &set, NULL, NULL, &tv) > 0;
}

} // namespace

void NumberedStream::Next(uint8_t* packet)
{
    memset(packet, 0xFF, PACKET);
    packet[0] = 0x47;
    packet[1] = static_cast<uint8_t>(m_pid >> 8);
    packet[2] = static_cast<uint8_t>(m_pid & 0xFF);
    packet[3] = static_cast<uint8_t>(0x10 | (m_made & 0x0F));
    const uint32_t sequence = static_cast<uint32_t>(m_made);
    memcpy(packet + 4, &sequence, sizeof sequence);
    ++m_made;
}

uint32_t SequenceOf(const uint8_t* packet)
{
    uint32_t sequence = 0;
    memcpy(&sequence, packet + 4, sizeof sequence);
    return sequence;
}

double NowSeconds()
{
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

uint16_t FreeLoopbackPort(int socketType)
{
    SOCKET s = socket(AF_INET, socketType, 0);
    sockaddr_in address = Loopback(0);
    bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
    int length = sizeof address;
    getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    closesocket(s);
    return ntohs(address.sin_port);
}

bool PeerThread::Start()
{
    m_started = NowSeconds();
    m_hThread = CreateThread(NULL, 0, Main, this, 0, NULL);
    return m_hThread != NULL;
}

void PeerThread::Stop()
{
    m_stop = true;
    if (m_hThread != NULL) {
        WaitForSingleObject(m_hThread, INFINITE);
        CloseHandle(m_hThread);
        m_hThread = NULL;
    }
}

DWORD WINAPI PeerThread::Main(void* self)
{
    static_cast<PeerThread*>(self)->Run();
    return 0;
}

uint64_t PeerThread::Due(uint64_t bitsPerSecond, uint64_t sent) const
{
    const uint64_t owed = static_cast<uint64_t>((NowSeconds() - m_started) * bitsPerSecond / BITS_PER_PACKET);
    return owed > sent ? owed - sent : 0;
}

UdpStreamer::UdpStreamer(uint16_t port, uint16_t pid, uint64_t bitsPerSecond)
    : m_socket(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP)), m_to(Loopback(port)), m_stream(pid), m_rate(bitsPerSecond)
{
}

UdpStreamer::~UdpStreamer()
{
    Stop();
    closesocket(m_socket);
}

void UdpStreamer::Run()
{
    uint8_t datagram[PACKET * PACKETS_PER_DATAGRAM];
    uint64_t skipped = 0;   // packets not sent while paused, so the rate holds after
    while (!Stopping()) {
        uint64_t due = Due(m_rate, m_sent + skipped);
        if (m_paused) {
            skipped += due;
            due = 0;
        }
        for (; due >= PACKETS_PER_DATAGRAM; due -= PACKETS_PER_DATAGRAM) {
            for (size_t i = 0; i < PACKETS_PER_DATAGRAM; ++i)
                m_stream.Next(datagram + i * PACKET);
            sendto(m_socket, reinterpret_cast<const char*>(datagram), sizeof datagram, 0,
                   reinterpret_cast<const sockaddr*>(&m_to), sizeof m_to);
            m_sent += PACKETS_PER_DATAGRAM;
        }
        Sleep(TICK_MS);
    }
}

StreamServer::StreamServer(Kind kind, uint16_t pid, uint64_t bitsPerSecond)
    : m_kind(kind), m_listener(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP)), m_pid(pid), m_rate(bitsPerSecond)
{
    sockaddr_in address = Loopback(0);
    bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(m_listener, SOMAXCONN);
    int length = sizeof address;
    getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
    m_port = ntohs(address.sin_port);
}

StreamServer::~StreamServer()
{
    Stop();
    closesocket(m_listener);
}

void StreamServer::Run()
{
    while (!Stopping()) {
        if (!Readable(m_listener, ACCEPT_POLL_US))
            continue;
        SOCKET client = accept(m_listener, NULL, NULL);
        if (client == INVALID_SOCKET)
            continue;
        ++m_clients;
        if (m_kind == TCP || AnswerRequest(client))
            Serve(client);
        closesocket(client);
    }
}

bool StreamServer::AnswerRequest(SOCKET client)
{
    std::string request;
    const ULONGLONG deadline = GetTickCount64() + REQUEST_LIMIT_MS;
    char buffer[1024];
    while (request.find("\r\n\r\n") == std::string::npos && GetTickCount64() < deadline) {
        if (!Readable(client, CLIENT_POLL_US))
            continue;
        const int got = recv(client, buffer, sizeof buffer, 0);
        if (got <= 0)
            return false;
        request.append(buffer, static_cast<size_t>(got));
    }
    return send(client, HTTP_ANSWER, sizeof HTTP_ANSWER - 1, 0) == static_cast<int>(sizeof HTTP_ANSWER - 1);
}

// The client went when its side reads as closed or failed.
bool StreamServer::ClientWent(SOCKET client)
{
    if (!Readable(client, CLIENT_POLL_US))
        return false;
    char scrap[256];
    const int got = recv(client, scrap, sizeof scrap, 0);
    return got == 0 || (got < 0 && WSAGetLastError() != WSAEWOULDBLOCK);
}

const uint8_t JUNK_BYTE = 0x47;     // sync bytes where no packet starts: the worst junk

void StreamServer::MakePackets(NumberedStream* stream, uint64_t count, std::vector<uint8_t>* out) const
{
    out->clear();
    if (stream->Made() == 0)
        out->assign(m_stray, JUNK_BYTE);
    for (uint64_t n = 0; n < count; ++n) {
        const size_t at = out->size();
        out->resize(at + PACKET);
        stream->Next(&(*out)[at]);
        if (m_junkEvery > 0 && stream->Made() % m_junkEvery == 0)
            out->insert(out->end(), m_junk, JUNK_BYTE);
    }
}

void StreamServer::Serve(SOCKET client)
{
    u_long nonBlocking = 1;
    ioctlsocket(client, FIONBIO, &nonBlocking);
    NumberedStream stream(m_pid);
    std::vector<uint8_t> pending;
    size_t pendingAt = 0;
    const double started = NowSeconds();
    while (!Stopping()) {
        if (ClientWent(client)) {
            m_goneAt = NowSeconds();
            return;
        }
        const uint64_t owed = static_cast<uint64_t>((NowSeconds() - started) * m_rate / BITS_PER_PACKET);
        if (pendingAt == pending.size() && owed > stream.Made()) {
            MakePackets(&stream, owed - stream.Made(), &pending);
            pendingAt = 0;
        }
        if (pendingAt < pending.size()) {
            const int sent = send(client, reinterpret_cast<const char*>(&pending[pendingAt]),
                                  static_cast<int>(pending.size() - pendingAt), 0);
            if (sent > 0)
                pendingAt += static_cast<size_t>(sent);
            else if (WSAGetLastError() != WSAEWOULDBLOCK) {
                m_goneAt = NowSeconds();
                return;
            }
        }
    }
}
