// One line of Linux's /proc/net/tcp or /proc/net/udp. Plain C++.
#pragma once
#include <string>

struct SocketLine {
    unsigned localPort = 0;
    unsigned remotePort = 0;
    unsigned state = 0;
};

constexpr unsigned TCP_ESTABLISHED_STATE = 0x01;

// "  0: 0100007F:1F90 0100007F:A2C4 01 ..." (addresses and ports in hex); false for the header.
bool ParseSocketLine(const std::string& line, SocketLine* socket);
