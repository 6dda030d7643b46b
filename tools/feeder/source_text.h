// The pieces of a network source's text: "udp://239.1.1.1:1234?interface=10.0.0.2"
// is an address part and its options. Shared by the parsers of the network kinds.
#pragma once
#include <winsock2.h>

#include <cstdint>
#include <string>
#include <vector>

struct SourceOption {
    std::string name;
    std::string value;      // empty for a bare flag
    bool        hasValue = false;
};

// Splits what follows the prefix at the first '?' into the address and its
// '&'-separated options; false with *why set when an option has no name.
bool SplitSourceText(const std::string& afterPrefix, std::string* address,
                     std::vector<SourceOption>* options, std::string* why);

// "HOST:PORT" with a port in 1-65535; the host is a name, a dotted IPv4 address
// or a bracketed IPv6 address, returned without brackets.
bool ParseHostPort(const std::string& text, std::string* host, uint16_t* port, std::string* why);

// A dotted IPv4 address such as "239.1.1.1", nothing else.
bool ParseIPv4(const std::string& text, in_addr* out);
