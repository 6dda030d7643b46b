// tcp://HOST:PORT: connects through a TcpConnector, so that Read keeps to its
// wait while a name service or a far server takes its time, then reads what comes.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "tcp_source.h"

#include "silence_limit.h"
#include "silence_watch.h"
#include "source_kinds.h"
#include "tcp_connector.h"
#include "tcp_settings.h"
#include "winsock_use.h"

#include <algorithm>
#include <climits>

namespace {

// A refusal comes at once; waiting this long for it in Open spares the channel a
// "streaming" that fails a moment later, and holds the worker no longer than a read.
const ULONGLONG TCP_OPEN_WAIT_MS = 20;

enum class TcpStage { CONNECTING, RECEIVING, CLOSED };

// What the source needs: the text's settings and the name service to ask.
struct TcpTarget : TcpSettings {
    ResolveFunction resolve = getaddrinfo;
};

class TcpSource : public Source {
public:
    explicit TcpSource(const TcpTarget& settings)
        : m_settings(settings), m_connector(settings.resolve), m_silence(settings.silenceLimitMs) {}
    ~TcpSource() override { Close(); }

    bool Open() override;
    ReadResult Read(uint8_t* dst, size_t capacity, DWORD waitMs) override;
    void Close() override;

private:
    ReadResult Failed(const std::string& what);
    ReadResult Advance(DWORD waitMs);
    ReadResult Receive(uint8_t* dst, size_t capacity, DWORD waitMs);
    ReadResult Silent();

    const TcpTarget     m_settings;
    TcpConnector        m_connector;
    SilenceWatch        m_silence;
    TcpStage            m_stage = TcpStage::CLOSED;
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
    if (!m_connector.Start(m_settings.host, m_settings.port, &m_error))
        return false;
    m_stage = TcpStage::CONNECTING;
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
    std::string why;
    switch (m_connector.Advance(waitMs, &why)) {
    case ConnectState::FAILED:
        return Failed(why);
    case ConnectState::CONNECTED:
        m_stage = TcpStage::RECEIVING;
        m_silence.Heard();
        break;
    default:
        break;
    }
    return ReadResult{};
}

ReadResult TcpSource::Receive(uint8_t* dst, size_t capacity, DWORD waitMs)
{
    const SOCKET socket = m_connector.Socket();
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(socket, &readable);
    timeval tv = SocketWait(waitMs);
    const int ready = select(0, &readable, NULL, NULL, &tv);
    if (ready < 0)
        return Failed("connection lost: " + LastSocketErrorText());
    if (ready == 0)
        return Silent();
    const int got = recv(socket, reinterpret_cast<char*>(dst), static_cast<int>(std::min<size_t>(capacity, INT_MAX)), 0);
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
    case TcpStage::CONNECTING:
        return Advance(waitMs);
    default:
        return ReadResult{ReadStatus::FAILED, 0};
    }
}

void TcpSource::Close()
{
    m_connector.Close();
    m_stage = TcpStage::CLOSED;
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
