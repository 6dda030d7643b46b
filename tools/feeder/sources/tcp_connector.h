// The connecting half of a tcp: source: looks the host up on a thread of its
// own, then connects to each address it gave in turn without blocking, so that
// every step keeps to the wait it is given.
#pragma once
#include <winsock2.h>

#include <cstdint>
#include <string>

#include "host_resolver.h"

enum class ConnectState {
    PENDING,    // still looking up or connecting
    CONNECTED,  // Socket() is connected
    FAILED,     // *why says why; Close has been called
};

class TcpConnector {
public:
    explicit TcpConnector(ResolveFunction resolve) : m_resolver(resolve) {}
    ~TcpConnector() { Close(); }
    TcpConnector(const TcpConnector&) = delete;
    TcpConnector& operator=(const TcpConnector&) = delete;

    // Starts Winsock and the lookup; false with *why set.
    bool Start(const std::string& host, uint16_t port, std::string* why);
    // One step towards a connection, waiting at most waitMs.
    ConnectState Advance(DWORD waitMs, std::string* why);
    // The connected socket after CONNECTED, until Close; the connector keeps it.
    SOCKET Socket() const { return m_socket; }
    // Closes the socket and leaves a lookup still running to end on its own; safe to call twice.
    void Close();

private:
    enum class Stage { IDLE, RESOLVING, CONNECTING, CONNECTED };

    ConnectState Failed(const std::string& what, std::string* why);
    ConnectState AwaitAddresses(DWORD waitMs, std::string* why);
    bool ConnectNext(std::string* why);
    ConnectState AwaitConnection(DWORD waitMs, std::string* why);

    HostResolver        m_resolver;
    std::string         m_host;                 // for messages
    Stage               m_stage = Stage::IDLE;
    ULONGLONG           m_resolveStart = 0;
    const addrinfo*     m_next = nullptr;       // the address to try after the current one; the resolver's
    SOCKET              m_socket = INVALID_SOCKET;
    ULONGLONG           m_connectStart = 0;
};
