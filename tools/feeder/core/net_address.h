// The address part of a network source's text ("239.1.1.1:1234"), shared by
// the parsers of the network kinds. Plain C++, so the parsing is fuzzed natively.
#pragma once
#include <cstdint>
#include <string>

// "HOST:PORT" with a port in 1-65535; the host is a name, a dotted IPv4 address
// or a bracketed IPv6 address, returned without brackets.
bool ParseHostPort(const std::string& text, std::string* host, uint16_t* port, std::string* why);

// A port in 1-65535; false with *why naming the range.
bool ParsePort(const std::string& text, uint16_t* port, std::string* why);

// A dotted IPv4 address such as "239.1.1.1", nothing else; in host byte order.
bool ParseIPv4(const std::string& text, uint32_t* address);
