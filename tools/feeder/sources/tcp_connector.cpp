#include <winsock2.h>
#include <ws2tcpip.h>

#include "tcp_connector.h"

#include "silence_limit.h"
#include "system_error.h"
#include "winsock_use.h"

namespace {

const DWORD TCP_RESOLVE_LIMIT_MS = 10 * 1000;
const DWORD TCP_CONNECT_LIMIT_MS = 10 * 1000;

} // namespace

bool TcpConnector::Start(const std::string& host, uint16_t port, std::string* why)
{
    if (!StartWinsock(why) || !m_resolver.Start(host, port, why))
        return false;
    m_host = host;
    m_stage = Stage::RESOLVING;
    m_resolveStart = GetTickCount64();
    return true;
}

ConnectState TcpConnector::Advance(DWORD waitMs, std::string* why)
{
    switch (m_stage) {
    case Stage::RESOLVING:
        return AwaitAddresses(waitMs, why);
    case Stage::CONNECTING:
        return AwaitConnection(waitMs, why);
    case Stage::CONNECTED:
        return ConnectState::CONNECTED;
    default:
        return ConnectState::FAILED;
    }
}

ConnectState TcpConnector::Failed(const std::string& what, std::string* why)
{
    *why = what;
    Close();
    return ConnectState::FAILED;
}

ConnectState TcpConnector::AwaitAddresses(DWORD waitMs, std::string* why)
{
    std::string reason;
    switch (m_resolver.Wait(waitMs, &reason)) {
    case ResolveState::FAILED:
        return Failed("cannot find host \"" + m_host + "\": " + reason, why);
    case ResolveState::PENDING:
        if (GetTickCount64() - m_resolveStart >= TCP_RESOLVE_LIMIT_MS)
            return Failed("cannot find host \"" + m_host + "\": no answer from the name service within "
                          + SilenceLimitText(TCP_RESOLVE_LIMIT_MS) + " s", why);
        return ConnectState::PENDING;
    default:
        break;
    }
    m_next = m_resolver.Addresses();
    m_stage = Stage::CONNECTING;
    if (!ConnectNext(&reason))
        return Failed("cannot connect: " + reason, why);
    return ConnectState::PENDING;
}

// Starts connecting to the next address; the outcome comes to AwaitConnection.
bool TcpConnector::ConnectNext(std::string* why)
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

ConnectState TcpConnector::AwaitConnection(DWORD waitMs, std::string* why)
{
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(m_socket, &writable);
    FD_SET(m_socket, &failed);
    timeval tv = SocketWait(waitMs);
    if (select(0, NULL, &writable, &failed, &tv) < 0)
        return Failed("cannot connect: " + LastSocketErrorText(), why);
    int error = 0;
    int length = sizeof error;
    getsockopt(m_socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length);
    if (error == 0 && FD_ISSET(m_socket, &writable) && !FD_ISSET(m_socket, &failed)) {
        m_stage = Stage::CONNECTED;
        return ConnectState::CONNECTED;
    }
    if (error != 0 || FD_ISSET(m_socket, &failed)) {
        std::string reason = SystemErrorText(static_cast<DWORD>(error));
        if (!ConnectNext(&reason))
            return Failed("cannot connect: " + reason + " (is the server running?)", why);
        return ConnectState::PENDING;
    }
    if (GetTickCount64() - m_connectStart >= TCP_CONNECT_LIMIT_MS)
        return Failed("cannot connect: no answer within " + SilenceLimitText(TCP_CONNECT_LIMIT_MS)
                      + " s (is the address right, and the server running?)", why);
    return ConnectState::PENDING;
}

void TcpConnector::Close()
{
    CloseAndClear(m_socket);
    m_stage = Stage::IDLE;
    m_next = nullptr;
    m_resolver.Abandon();   // a lookup still running ends on its own
}
