#include <cstdio>
#include <functional>

#include "channel_states.h"
#include "status_formats.h"

const char STATUS_METRICS_TYPE[] = "text/plain; version=0.0.4; charset=utf-8";

namespace {

const char PREFIX[] = "zelmoor_feeder_";

struct Counter {
    const char*                                     name;
    const char*                                     help;
    std::function<uint64_t(const ChannelStatus&)>   value;
};

const Counter COUNTERS[] = {
    {"bytes_delivered_total", "Bytes the host certainly received.",
     [](const ChannelStatus& c) { return c.bytesDelivered; }},
    {"drops_total", "Whole packets dropped because the host fell behind a source that cannot wait.",
     [](const ChannelStatus& c) { return c.drops; }},
    {"skipped_bytes_total", "Bytes left out because they were no whole aligned packet.",
     [](const ChannelStatus& c) { return c.skippedBytes; }},
    {"visits_total", "Times a host selected the channel.", [](const ChannelStatus& c) { return c.visits; }},
    {"source_failures_total", "Times the channel's source failed.",
     [](const ChannelStatus& c) { return c.sourceFailures; }},
};

// A label value with the format's three escapes.
std::string Escaped(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c == '\n' ? std::string("\\n") : std::string(1, c);
    }
    return out;
}

std::string Heading(const std::string& name, const char* type, const char* help)
{
    return "# HELP " + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
}

std::string Sample(const std::string& name, const std::string& labels, const std::string& value)
{
    return name + "{" + labels + "} " + value + "\n";
}

std::string ChannelLabel(const ChannelStatus& c)
{
    return "channel=\"" + std::to_string(c.channel) + "\"";
}

std::string Number(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

std::string ChannelGauges(const StatusSnapshot& snapshot)
{
    const std::string connected = std::string(PREFIX) + "host_connected";
    const std::string rate = std::string(PREFIX) + "rate_bps";
    const std::string state = std::string(PREFIX) + "channel_state";
    std::string text = Heading(connected, "gauge", "1 while a host has the channel selected.");
    for (const ChannelStatus& c : snapshot.channels)
        text += Sample(connected, ChannelLabel(c), c.hostConnected ? "1" : "0");
    text += Heading(rate, "gauge", "Bits per second delivered over the last second or so.");
    for (const ChannelStatus& c : snapshot.channels)
        text += Sample(rate, ChannelLabel(c), Number(c.rateBps));
    text += Heading(state, "gauge", "1 for the channel's current state, 0 for the others.");
    const std::vector<std::string> names = AllStateNames();
    for (const ChannelStatus& c : snapshot.channels)
        for (const std::string& name : names)
            text += Sample(state, ChannelLabel(c) + ",state=\"" + Escaped(name) + "\"", name == c.state ? "1" : "0");
    return text;
}

} // namespace

std::string StatusMetrics(const StatusSnapshot& snapshot)
{
    std::string text;
    for (const Counter& counter : COUNTERS) {
        const std::string name = PREFIX + std::string(counter.name);
        text += Heading(name, "counter", counter.help);
        for (const ChannelStatus& c : snapshot.channels)
            text += Sample(name, ChannelLabel(c), std::to_string(counter.value(c)));
    }
    text += ChannelGauges(snapshot);
    const std::string uptime = std::string(PREFIX) + "uptime_seconds";
    return text + Heading(uptime, "gauge", "Seconds since the feeder started.") + uptime + " "
         + Number(snapshot.uptimeSeconds) + "\n";
}
