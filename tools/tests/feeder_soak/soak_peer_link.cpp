#include "soak_peer_link.h"

#include <ws2tcpip.h>

#include <cstdlib>
#include <sstream>

namespace {

const char   LOOPBACK[] = "127.0.0.1";
const DWORD  ANSWER_TIMEOUT_MS = 30000;
const char*  const PEER_NAMES[] = {"control", "udp", "rtp", "tcp", "http"};
const unsigned long PORT_MAX = 65535;

} // namespace

bool ParsePeerPorts(const std::string& text, std::map<std::string, uint16_t>* ports)
{
    std::istringstream words(text);
    std::string word;
    while (words >> word) {
        const size_t equals = word.find('=');
        if (equals == std::string::npos)
            return false;
        char* end = nullptr;
        const unsigned long port = std::strtoul(word.c_str() + equals + 1, &end, 10);
        if (*end != '\0' || port == 0 || port > PORT_MAX)
            return false;
        (*ports)[word.substr(0, equals)] = static_cast<uint16_t>(port);
    }
    for (const char* name : PEER_NAMES)
        if (ports->count(name) == 0)
            return false;
    return true;
}

PeerLink::~PeerLink()
{
    if (m_socket != INVALID_SOCKET)
        closesocket(m_socket);
}

bool PeerLink::Connect(const std::string& ports, std::string* why)
{
    if (!ParsePeerPorts(ports, &m_ports)) {
        *why = "--peers needs control=P udp=P rtp=P tcp=P http=P, not '" + ports + "'";
        return false;
    }
    m_socket = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_port = htons(m_ports["control"]);
    inet_pton(AF_INET, LOOPBACK, &to.sin_addr);
    const DWORD timeout = ANSWER_TIMEOUT_MS;
    setsockopt(m_socket, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
    if (connect(m_socket, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
        *why = "cannot reach soak_peers.py on port " + std::to_string(m_ports["control"]) + " (error "
             + std::to_string(WSAGetLastError()) + ")";
        return false;
    }
    return true;
}

uint16_t PeerLink::Port(const std::string& name) const
{
    const auto found = m_ports.find(name);
    return found == m_ports.end() ? 0 : found->second;
}

bool PeerLink::Command(const std::string& line, std::string* answer)
{
    const std::string sent = line + "\n";
    answer->clear();
    if (send(m_socket, sent.data(), static_cast<int>(sent.size()), 0) != static_cast<int>(sent.size())) {
        *answer = "send failed (error " + std::to_string(WSAGetLastError()) + ")";
        return false;
    }
    char c = 0;
    while (recv(m_socket, &c, 1, 0) == 1 && c != '\n')
        *answer += c;
    return *answer == "ok";
}
