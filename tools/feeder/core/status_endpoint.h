// Where the status page listens: "PORT" on loopback, or "ADDRESS:PORT" with a
// dotted IPv4 address that the user chose.
#pragma once
#include <cstdint>
#include <string>

extern const char STATUS_DEFAULT_ADDRESS[];    // "127.0.0.1"

struct StatusEndpoint {
    std::string address;
    uint16_t    port = 0;
};

// False with *why naming what is wrong.
bool ParseStatusEndpoint(const std::string& text, StatusEndpoint* endpoint, std::string* why);
// Only this machine can reach it: 127.0.0.0/8.
bool IsLoopbackEndpoint(const StatusEndpoint& endpoint);
// Whether a request's Host header may be answered. On loopback only a loopback
// address or "localhost" is: a web page elsewhere whose name was made to point at
// 127.0.0.1 would otherwise read the page through the browser of this machine's user.
bool HostHeaderAllowed(const std::string& host, const StatusEndpoint& endpoint);
