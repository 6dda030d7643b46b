#include "status_endpoint.h"

#include "net_address.h"

const char STATUS_DEFAULT_ADDRESS[] = "127.0.0.1";

namespace {

const uint32_t LOOPBACK_NET = 0x7F000000;
const uint32_t LOOPBACK_MASK = 0xFF000000;

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
