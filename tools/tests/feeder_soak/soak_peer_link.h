// The soak's line to soak_peers.py, which runs the outside senders and servers:
// one command a line ("kill tcp"), answered "ok" or "error ...".
#pragma once
#include <winsock2.h>

#include <cstdint>
#include <map>
#include <string>

class PeerLink {
public:
    PeerLink() = default;
    PeerLink(const PeerLink&) = delete;
    PeerLink& operator=(const PeerLink&) = delete;
    ~PeerLink();
    // `ports`: "control=P udp=P rtp=P tcp=P http=P" as the script wrote them.
    bool Connect(const std::string& ports, std::string* why);
    uint16_t Port(const std::string& name) const;
    // True when the script answered "ok"; *answer holds what it said.
    bool Command(const std::string& line, std::string* answer);

private:
    SOCKET                          m_socket = INVALID_SOCKET;
    std::map<std::string, uint16_t> m_ports;
};

// "control=1 udp=2" into names and ports; false for anything else.
bool ParsePeerPorts(const std::string& text, std::map<std::string, uint16_t>* ports);
