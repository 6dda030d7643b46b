// What the status page shows, copied from the status board in one short look:
// plain values, so that the page, the JSON and the metrics are made from it
// outside the board's lock, and tested without a feeder.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct ChannelStatus {
    uint32_t    channel = 0;
    std::string state;                  // the board's words: "streaming", "waiting for a host"
    std::string source;                 // passwords as ***
    bool        hostConnected = false;
    double      rateBps = 0.0;
    // Counters: the channel's sources since the feeder started, across map changes.
    uint64_t    bytesDelivered = 0;
    uint64_t    drops = 0;
    uint64_t    skippedBytes = 0;
    uint64_t    visits = 0;
    uint64_t    sourceFailures = 0;
    std::string lastTrouble;            // empty: none so far
    double      lastTroubleAgoSeconds = 0.0;
};

struct StatusSnapshot {
    std::string                 version;
    std::string                 started;        // ISO 8601, UTC
    double                      uptimeSeconds = 0.0;
    std::vector<ChannelStatus>  channels;       // in channel order
    std::vector<std::string>    events;         // the latest event lines, oldest first
};
