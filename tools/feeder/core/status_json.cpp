#include <nlohmann/json.hpp>

#include "status_formats.h"

const char STATUS_JSON_TYPE[] = "application/json; charset=utf-8";

namespace {

const int COMPACT = -1;
const char INDENT_CHAR = ' ';
const bool ASCII_ONLY = false;

nlohmann::ordered_json ChannelJson(const ChannelStatus& c)
{
    nlohmann::ordered_json j = {
        {"channel", c.channel},         {"state", c.state},
        {"source", c.source},           {"host_connected", c.hostConnected},
        {"rate_bps", c.rateBps},        {"bytes_delivered", c.bytesDelivered},
        {"drops", c.drops},             {"skipped_bytes", c.skippedBytes},
        {"visits", c.visits},           {"source_failures", c.sourceFailures},
        {"last_trouble", nullptr},      {"last_trouble_seconds_ago", nullptr},
    };
    if (!c.lastTrouble.empty()) {
        j["last_trouble"] = c.lastTrouble;
        j["last_trouble_seconds_ago"] = c.lastTroubleAgoSeconds;
    }
    return j;
}

} // namespace

std::string StatusJson(const StatusSnapshot& snapshot)
{
    nlohmann::ordered_json channels = nlohmann::ordered_json::array();
    for (const ChannelStatus& channel : snapshot.channels)
        channels.push_back(ChannelJson(channel));
    const nlohmann::ordered_json j = {
        {"version", snapshot.version},  {"started", snapshot.started},
        {"uptime_s", snapshot.uptimeSeconds}, {"channels", channels},
        {"events", snapshot.events},
    };
    // A line cut inside a character, or a name in another code page, must not cost the whole answer.
    return j.dump(COMPACT, INDENT_CHAR, ASCII_ONLY, nlohmann::ordered_json::error_handler_t::replace);
}
