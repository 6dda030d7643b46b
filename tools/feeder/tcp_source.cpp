// tcp://HOST:PORT: connects without blocking, so that Read keeps to its wait
// while a far server takes its time to answer, then reads what comes.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "source_kinds.h"
#include "net_address.h"
#include "source_query.h"
#include "system_error.h"
#include "winsock_use.h"

#include <algorithm>
#include <climits>

namespace {

const char TCP_PREFIX[] = "tcp://";
const DWORD TCP_CONNECT_LIMIT_MS = 10 * 1000;
// A refusal comes at once; waiting this long for it in Open spares the channel a
// "streaming" that fails a moment later, and holds the worker no longer than a read.
const DWORD TCP_OPEN_WAIT_MS = 20;
const DWORD MS_PER_SECOND = 1000;
const long US_PER_MS = 1000;

timeval Timeval(DWORD ms)
{
    timeval tv;
    tv.tv_sec = static_cast<long>(ms / MS_PER_SECOND);
    tv.tv_usec = static_cast<long>(ms % MS_PER_SECOND) * US_PER_MS;
    return tv;
}

class TcpSource : public Source {
public:
    TcpSource(const std::string& host, uint16_t port) : m_host(host), m_port(port) {}
    ~TcpSource() override { Close(); }

    bool Open() override;
    ReadResult Read(uint8_t* dst, size_t capacity, DWORD waitMs) override;
    void Close() override;

private:
    ReadResult Failed(const std::string& what);
    bool ConnectNext(std::string* why);
    ReadResult AwaitConnection(DWORD waitMs);
    ReadResult Receive(uint8_t* dst, size_t capacity, DWORD waitMs);

    const std::string   m_host;
    const uint16_t      m_port;
    addrinfo*           m_addresses = nullptr;  // what the host name resolved to
    addrinfo*           m_next = nullptr;       // the address to try after the current one
    SOCKET              m_socket = INVALID_SOCKET;
    bool                m_connected = false;
    ULONGLONG           m_connectStart = 0;
};

ReadResult TcpSource::Failed(const std::string& what)
{
    m_error = what;
    Close();
    ReadResult result;
    result.status = ReadStatus::FAILED;
    return result;
}

bool TcpSource::Open()
{
    if (!StartWinsock(&m_error))
        return false;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    const int found = getaddrinfo(m_host.c_str(), std::to_string(m_port).c_str(), &hints, &m_addresses);
    if (found != 0) {
        m_error = "cannot find host \"" + m_host + "\": " + SystemErrorText(static_cast<DWORD>(found));
        m_addresses = nullptr;
        return false;
    }
    m_next = m_addresses;
    std::string why;
    if (!ConnectNext(&why)) {
        m_error = "cannot connect: " + why;
        Close();
        return false;
    }
    return AwaitConnection(TCP_OPEN_WAIT_MS).status != ReadStatus::FAILED;
}

// Starts connecting to the next address; the outcome comes to AwaitConnection.
bool TcpSource::ConnectNext(std::string* why)
{
    CloseAndClear(m_socket);
    while (m_next != nullptr) {
        const addrinfo* address = m_next;
        m_next = address->ai_next;
        m_socket = OpenPrivateSocket(address->ai_family, address->ai_socktype, address->ai_protocol);
        u_long nonBlocking = 1;
        if (m_socket == INVALID_SOCKET || ioctlsocket(m_socket, FIONBIO, &nonBlocking) != 0) {
            *why = LastSocketErrorText();
            CloseAndClear(m_socket);
            continue;
        }
        m_connectStart = GetTickCount64();
        if (connect(m_socket, address->ai_addr, static_cast<int>(address->ai_addrlen)) == 0
            || WSAGetLastError() == WSAEWOULDBLOCK)
            return true;
        *why = LastSocketErrorText();
        CloseAndClear(m_socket);
    }
    return false;
}

ReadResult TcpSource::AwaitConnection(DWORD waitMs)
{
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(m_socket, &writable);
    FD_SET(m_socket, &failed);
    timeval tv = Timeval(waitMs);
    if (select(0, NULL, &writable, &failed, &tv) < 0)
        return Failed("cannot connect: " + LastSocketErrorText());
    int error = 0;
    int length = sizeof error;
    getsockopt(m_socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length);
    if (error == 0 && FD_ISSET(m_socket, &writable) && !FD_ISSET(m_socket, &failed)) {
        m_connected = true;
        return ReadResult{};
    }
    if (error != 0 || FD_ISSET(m_socket, &failed)) {
        std::string why = SystemErrorText(static_cast<DWORD>(error));
        if (!ConnectNext(&why))
            return Failed("cannot connect: " + why + " (is the server running?)");
        return ReadResult{};
    }
    if (GetTickCount64() - m_connectStart >= TCP_CONNECT_LIMIT_MS)
        return Failed("cannot connect: no answer within " + std::to_string(TCP_CONNECT_LIMIT_MS / MS_PER_SECOND)
                      + " s (is the address right, and the server running?)");
    return ReadResult{};
}

ReadResult TcpSource::Receive(uint8_t* dst, size_t capacity, DWORD waitMs)
{
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(m_socket, &readable);
    timeval tv = Timeval(waitMs);
    const int ready = select(0, &readable, NULL, NULL, &tv);
    if (ready < 0)
        return Failed("connection lost: " + LastSocketErrorText());
    if (ready == 0)
        return ReadResult{};
    const int got = recv(m_socket, reinterpret_cast<char*>(dst), static_cast<int>(std::min<size_t>(capacity, INT_MAX)), 0);
    if (got == 0)
        return Failed("the server closed the connection");
    if (got < 0)
        return WSAGetLastError() == WSAEWOULDBLOCK ? ReadResult{}
                                                   : Failed("connection lost: " + LastSocketErrorText());
    ReadResult result;
    result.status = ReadStatus::DATA;
    result.bytes = static_cast<size_t>(got);
    return result;
}

ReadResult TcpSource::Read(uint8_t* dst, size_t capacity, DWORD waitMs)
{
    if (m_socket == INVALID_SOCKET) {
        ReadResult result;
        result.status = ReadStatus::FAILED;
        return result;
    }
    return m_connected ? Receive(dst, capacity, waitMs) : AwaitConnection(waitMs);
}

void TcpSource::Close()
{
    CloseAndClear(m_socket);
    m_connected = false;
    if (m_addresses != nullptr)
        freeaddrinfo(m_addresses);
    m_addresses = nullptr;
    m_next = nullptr;
}

class TcpConfig : public SourceConfig {
public:
    TcpConfig(const std::string& text, const std::string& host, uint16_t port)
        : m_text(text), m_host(host), m_port(port) {}
    std::unique_ptr<Source> Create() const override
    {
        return std::unique_ptr<Source>(new TcpSource(m_host, m_port));
    }
    const std::string& Text() const override { return m_text; }

private:
    const std::string   m_text;
    const std::string   m_host;
    const uint16_t      m_port;
};

} // namespace

std::unique_ptr<SourceConfig> ParseTcpSource(const std::string& text, std::string* why)
{
    const SourceQuery query = SplitSourceQuery(text.substr(sizeof TCP_PREFIX - 1));
    const std::string& address = query.base;
    const std::vector<QueryOption>& options = query.options;
    if (!options.empty()) {
        *why = "unknown option \"" + options[0].name + "\" (tcp:// takes no options)";
        return nullptr;
    }
    std::string host;
    uint16_t port = 0;
    if (!ParseHostPort(address, &host, &port, why))
        return nullptr;
    return std::unique_ptr<SourceConfig>(new TcpConfig(text, host, port));
}
