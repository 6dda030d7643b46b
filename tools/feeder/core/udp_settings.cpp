#include "udp_settings.h"

#include "net_address.h"
#include "silence_limit.h"
#include "source_prefix.h"
#include "source_query.h"
#include "settings_reader.h"
#include "url_password.h"

namespace {

const char UDP_PREFIX[] = "udp://";
const uint32_t MULTICAST_MASK = 0xF0000000;             // 224.0.0.0/4
const uint32_t MULTICAST_NET = 0xE0000000;

bool ApplyUdpOption(const QueryOption& option, UdpSettings* settings, std::string* why)
{
    if (option.name == SILENCE_OPTION) {
        settings->silenceGiven = true;
        return ParseSilenceLimit(option.value, &settings->silenceLimitMs, why);
    }
    if (option.name != "interface") {
        *why = "unknown option \"" + option.name + "\" (udp:// takes interface=ADDRESS and timeout=S)";
        return false;
    }
    if (!settings->multicast) {
        *why = "interface= applies to multicast groups (224.0.0.0-239.255.255.255) only;"
               " to receive on one interface, give its address instead";
        return false;
    }
    if (!ParseIPv4(option.value, &settings->interfaceAddress)) {
        *why = "bad interface \"" + option.value + "\" (a dotted IPv4 address of this computer)";
        return false;
    }
    return true;
}

bool ReadUdpSettings(const std::string& text, UdpSettings* settings, std::string* why)
{
    if (!CheckSourcePrefix(text, UDP_PREFIX, why))
        return false;
    const SourceQuery query = SplitSourceQuery(text.substr(sizeof UDP_PREFIX - 1));
    std::string host;
    if (!ParseHostPort(query.base, &host, &settings->port, why))
        return false;
    if (!ParseIPv4(host, &settings->address)) {
        *why = "bad address \"" + host + "\" (a dotted IPv4 address such as 239.1.1.1, or 0.0.0.0 for all interfaces)";
        return false;
    }
    settings->multicast = (settings->address & MULTICAST_MASK) == MULTICAST_NET;
    for (const QueryOption& option : query.options)
        if (!ApplyUdpOption(option, settings, why))
            return false;
    return true;
}

} // namespace

bool ParseUdpSettings(const std::string& text, UdpSettings* out, std::string* why)
{
    return ReadHidingPasswords(ReadUdpSettings, text, out, why);
}
