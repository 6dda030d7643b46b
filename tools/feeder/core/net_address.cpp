#include "net_address.h"

#include "numbers.h"

#include <cctype>

namespace {

const uint64_t PORT_MIN = 1;
const uint64_t PORT_MAX = 65535;
const uint64_t OCTET_MAX = 255;
const int IPV4_PARTS = 4;

bool IsHostNameChar(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.' || c == '_';
}

bool IsIPv6Char(char c)
{
    return std::isxdigit(static_cast<unsigned char>(c)) || c == ':' || c == '.';
}

bool ValidHost(const std::string& host, bool bracketed)
{
    if (host.empty())
        return false;
    for (char c : host)
        if (bracketed ? !IsIPv6Char(c) : !IsHostNameChar(c))
            return false;
    return true;
}

} // namespace

bool ParseHostPort(const std::string& text, std::string* host, uint16_t* port, std::string* why)
{
    const bool bracketed = !text.empty() && text[0] == '[';
    const size_t close = bracketed ? text.find(']') : std::string::npos;
    const size_t colon = bracketed ? (close == std::string::npos ? close : close + 1) : text.rfind(':');
    if (colon == std::string::npos || colon >= text.size() || text[colon] != ':') {
        *why = "\"" + text + "\" has no port (write HOST:PORT, the port in 1-65535)";
        return false;
    }
    *host = bracketed ? text.substr(1, close - 1) : text.substr(0, colon);
    if (!ValidHost(*host, bracketed)) {
        *why = "bad host \"" + *host + "\" (a name, a dotted IPv4 address or [IPv6])";
        return false;
    }
    return ParsePort(text.substr(colon + 1), port, why);
}

bool ParsePort(const std::string& text, uint16_t* port, std::string* why)
{
    uint64_t value = 0;
    if (!ParseUnsigned(text, PORT_MIN, PORT_MAX, &value)) {
        *why = "bad port \"" + text + "\" (allowed 1-65535)";
        return false;
    }
    *port = static_cast<uint16_t>(value);
    return true;
}

bool ParseIPv4(const std::string& text, uint32_t* out)
{
    uint32_t address = 0;
    size_t start = 0;
    for (int part = 0; part < IPV4_PARTS; ++part) {
        const size_t end = part + 1 < IPV4_PARTS ? text.find('.', start) : text.size();
        if (end == std::string::npos)
            return false;
        const std::string digits = text.substr(start, end - start);
        uint64_t octet = 0;
        // Leading zeros read as octal elsewhere; refuse rather than guess.
        if (digits.size() > 1 && digits[0] == '0')
            return false;
        if (!ParseUnsigned(digits, 0, OCTET_MAX, &octet))
            return false;
        address = (address << 8) | static_cast<uint32_t>(octet);
        start = end + 1;
    }
    *out = address;
    return true;
}
