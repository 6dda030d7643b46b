#include "status_endpoint.h"

#include <algorithm>
#include <cctype>

#include "net_address.h"

const char STATUS_DEFAULT_ADDRESS[] = "127.0.0.1";

namespace {

const uint32_t LOOPBACK_NET = 0x7F000000;
const uint32_t LOOPBACK_MASK = 0xFF000000;
const char     LOCALHOST[] = "localhost";
const char     IPV6_LOOPBACK[] = "[::1]";

} // namespace

bool ParseStatusEndpoint(const std::string& text, StatusEndpoint* endpoint, std::string* why)
{
    const size_t colon = text.rfind(':');
    const std::string address = colon == std::string::npos ? STATUS_DEFAULT_ADDRESS : text.substr(0, colon);
    uint32_t parsed = 0;
    if (!ParseIPv4(address, &parsed)) {
        *why = "bad address \"" + address + "\" (a dotted IPv4 address of this machine, such as 127.0.0.1 or 0.0.0.0)";
        return false;
    }
    endpoint->address = address;
    return ParsePort(colon == std::string::npos ? text : text.substr(colon + 1), &endpoint->port, why);
}

bool IsLoopbackEndpoint(const StatusEndpoint& endpoint)
{
    uint32_t address = 0;
    return ParseIPv4(endpoint.address, &address) && (address & LOOPBACK_MASK) == LOOPBACK_NET;
}

bool HostHeaderAllowed(const std::string& host, const StatusEndpoint& endpoint)
{
    if (!IsLoopbackEndpoint(endpoint))
        return true;    // the user chose to be reached by whatever name the machine has
    const size_t colon = host.rfind(':');
    const bool hasPort = colon != std::string::npos && host.find(']', colon) == std::string::npos;
    std::string name = hasPort ? host.substr(0, colon) : host;
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    uint32_t address = 0;
    const bool loopback = ParseIPv4(name, &address) && (address & LOOPBACK_MASK) == LOOPBACK_NET;
    return loopback || name == LOCALHOST || name == IPV6_LOOPBACK;
}
