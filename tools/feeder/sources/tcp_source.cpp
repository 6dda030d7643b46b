// tcp://HOST:PORT: looks the host up and connects without blocking, so that
// Read keeps to its wait while a name service or a far server takes its time,
// then reads what comes.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "tcp_source.h"

#include "silence_limit.h"
#include "silence_watch.h"
#include "source_kinds.h"
#include "tcp_settings.h"
#include "system_error.h"
#include "winsock_use.h"

#include <algorithm>
#include <climits>

namespace {

const DWORD TCP_RESOLVE_LIMIT_MS = 10 * 1000;
const DWORD TCP_CONNECT_LIMIT_MS = 10 * 1000;
// A refusal comes at once; waiting this long for it in Open spares the channel a
// "streaming" that fails a moment later, and holds the worker no longer than a read.
const ULONGLONG TCP_OPEN_WAIT_MS = 20;
const DWORD MS_PER_SECOND = 1000;
const long US_PER_MS = 1000;

timeval Timeval(DWORD ms)
{
    timeval tv;
    tv.tv_sec = static_cast<long>(ms / MS_PER_SECOND);
    tv.tv_usec = static_cast<long>(ms % MS_PER_SECOND) * US_PER_MS;
    return tv;
}

enum class TcpStage { RESOLVING, CONNECTING, RECEIVING, CLOSED };

// What the source needs: the text's settings and the name service to ask.
struct TcpTarget : TcpSettings {
    ResolveFunction resolve = getaddrinfo;
};

class TcpSource : public Source {
public:
    explicit TcpSource(const TcpTarget& settings)
        : m_settings(settings), m_resolver(settings.resolve), m_silence(settings.silenceLimitMs) {}
    ~TcpSource() override { Close(); }

    bool Open() override;
    ReadResult Read(uint8_t* dst, size_t capacity, DWORD waitMs) override;
    void Close() override;

private:
    ReadResult Failed(const std::string& what);
    ReadResult Advance(DWORD waitMs);
    ReadResult AwaitAddresses(DWORD waitMs);
    bool ConnectNext(std::string* why);
    ReadResult AwaitConnection(DWORD waitMs);
    ReadResult Receive(uint8_t* dst, size_t capacity, DWORD waitMs);
    ReadResult Silent();

    const TcpTarget     m_settings;
    HostResolver        m_resolver;
    SilenceWatch        m_silence;
    TcpStage            m_stage = TcpStage::CLOSED;
    ULONGLONG           m_resolveStart = 0;
    const addrinfo*     m_next = nullptr;       // the address to try after the current one; the resolver's
    SOCKET              m_socket = INVALID_SOCKET;
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
    if (!StartWinsock(&m_error) || !m_resolver.Start(m_settings.host, m_settings.port, &m_error))
        return false;
    m_stage = TcpStage::RESOLVING;
    m_resolveStart = GetTickCount64();
    // A refusal comes at once: seen here, the channel never shows "streaming".
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        const ULONGLONG spent = GetTickCount64() - start;
        if (m_stage == TcpStage::RECEIVING || spent >= TCP_OPEN_WAIT_MS)
            return true;
        if (Advance(static_cast<DWORD>(TCP_OPEN_WAIT_MS - spent)).status == ReadStatus::FAILED)
            return false;
    }
}

// One step towards a connection, waiting at most waitMs.
ReadResult TcpSource::Advance(DWORD waitMs)
{
    return m_stage == TcpStage::RESOLVING ? AwaitAddresses(waitMs) : AwaitConnection(waitMs);
}

ReadResult TcpSource::AwaitAddresses(DWORD waitMs)
{
    std::string why;
    switch (m_resolver.Wait(waitMs, &why)) {
    case ResolveState::FAILED:
        return Failed("cannot find host \"" + m_settings.host + "\": " + why);
    case ResolveState::PENDING:
        if (GetTickCount64() - m_resolveStart >= TCP_RESOLVE_LIMIT_MS)
            return Failed("cannot find host \"" + m_settings.host + "\": no answer from the name service within "
                          + SilenceLimitText(TCP_RESOLVE_LIMIT_MS) + " s");
        return ReadResult{};
    default:
        break;
    }
    m_next = m_resolver.Addresses();
    m_stage = TcpStage::CONNECTING;
    if (!ConnectNext(&why))
        return Failed("cannot connect: " + why);
    return ReadResult{};
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
        m_stage = TcpStage::RECEIVING;
        m_silence.Heard();
        return ReadResult{};
    }
    if (error != 0 || FD_ISSET(m_socket, &failed)) {
        std::string why = SystemErrorText(static_cast<DWORD>(error));
        if (!ConnectNext(&why))
            return Failed("cannot connect: " + why + " (is the server running?)");
        return ReadResult{};
    }
    if (GetTickCount64() - m_connectStart >= TCP_CONNECT_LIMIT_MS)
        return Failed("cannot connect: no answer within " + SilenceLimitText(TCP_CONNECT_LIMIT_MS)
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
        return Silent();
    const int got = recv(m_socket, reinterpret_cast<char*>(dst), static_cast<int>(std::min<size_t>(capacity, INT_MAX)), 0);
    if (got == 0)
        return Failed("the server closed the connection");
    if (got < 0)
        return WSAGetLastError() == WSAEWOULDBLOCK ? Silent()
                                                   : Failed("connection lost: " + LastSocketErrorText());
    m_silence.Heard();
    ReadResult result;
    result.status = ReadStatus::DATA;
    result.bytes = static_cast<size_t>(got);
    return result;
}

ReadResult TcpSource::Silent()
{
    if (m_silence.Expired())
        return Failed("no data for " + SilenceLimitText(m_silence.LimitMs()) + " s (is the server sending?)");
    return ReadResult{};
}

ReadResult TcpSource::Read(uint8_t* dst, size_t capacity, DWORD waitMs)
{
    switch (m_stage) {
    case TcpStage::RECEIVING:
        return Receive(dst, capacity, waitMs);
    case TcpStage::RESOLVING:
    case TcpStage::CONNECTING:
        return Advance(waitMs);
    default:
        return ReadResult{ReadStatus::FAILED, 0};
    }
}

void TcpSource::Close()
{
    CloseAndClear(m_socket);
    m_stage = TcpStage::CLOSED;
    m_next = nullptr;
    m_resolver.Abandon();   // a lookup still running ends on its own
}

class TcpConfig : public SourceConfig {
public:
    TcpConfig(const std::string& text, const TcpTarget& settings) : m_text(text), m_settings(settings) {}
    std::unique_ptr<Source> Create() const override
    {
        return std::unique_ptr<Source>(new TcpSource(m_settings));
    }
    const std::string& Text() const override { return m_text; }

private:
    const std::string   m_text;
    const TcpTarget     m_settings;
};

} // namespace

std::unique_ptr<SourceConfig> ParseTcpSourceWith(const std::string& text, ResolveFunction resolve, std::string* why)
{
    TcpTarget target;
    if (!ParseTcpSettings(text, &target, why))
        return nullptr;
    target.resolve = resolve;
    return std::unique_ptr<SourceConfig>(new TcpConfig(text, target));
}

std::unique_ptr<SourceConfig> ParseTcpSource(const std::string& text, std::string* why)
{
    return ParseTcpSourceWith(text, getaddrinfo, why);
}
