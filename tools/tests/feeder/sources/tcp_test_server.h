// A one-connection TCP server on loopback for the tcp: and http: sources' tests.
#pragma once
#include <winsock2.h>

#include <cstdint>
#include <string>
#include <vector>

#include "winsock_use.h"

// Sends what it is given and closes.
class TcpServer {
public:
    TcpServer() : m_listener(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP))
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(m_listener, 1);
        int length = sizeof address;
        getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
    }
    ~TcpServer() { CloseAndClear(m_client); CloseAndClear(m_listener); }
    uint16_t Port() const { return m_port; }
    bool AcceptAndSend(const std::vector<uint8_t>& data)
    {
        m_client = accept(m_listener, NULL, NULL);
        return m_client != INVALID_SOCKET
               && send(m_client, reinterpret_cast<const char*>(data.data()), static_cast<int>(data.size()), 0)
                      == static_cast<int>(data.size());
    }
    void Hangup() { CloseAndClear(m_client); }
    // The request's head, up to its blank line, or what came before the deadline.
    std::string ReceiveRequest(DWORD timeoutMs)
    {
        std::string request;
        const ULONGLONG deadline = GetTickCount64() + timeoutMs;
        char piece[4096];
        while (request.find("\r\n\r\n") == std::string::npos && GetTickCount64() < deadline) {
            fd_set readable;
            FD_ZERO(&readable);
            FD_SET(m_client, &readable);
            timeval tv = {0, 10000};
            if (select(0, &readable, NULL, NULL, &tv) <= 0)
                continue;
            const int got = recv(m_client, piece, sizeof piece, 0);
            if (got <= 0)
                break;
            request.append(piece, static_cast<size_t>(got));
        }
        return request;
    }
    bool Send(const std::string& text)
    {
        return send(m_client, text.data(), static_cast<int>(text.size()), 0) == static_cast<int>(text.size());
    }
    bool Accept()
    {
        m_client = accept(m_listener, NULL, NULL);
        return m_client != INVALID_SOCKET;
    }
    // Waits until the peer's side reads as closed.
    bool PeerClosed(DWORD timeoutMs)
    {
        const ULONGLONG deadline = GetTickCount64() + timeoutMs;
        char scrap[4096];
        while (GetTickCount64() < deadline) {
            fd_set readable;
            FD_ZERO(&readable);
            FD_SET(m_client, &readable);
            timeval tv = {0, 10000};
            if (select(0, &readable, NULL, NULL, &tv) > 0 && recv(m_client, scrap, sizeof scrap, 0) <= 0)
                return true;
        }
        return false;
    }

private:
    SOCKET      m_listener;
    SOCKET      m_client = INVALID_SOCKET;
    uint16_t    m_port = 0;
};
