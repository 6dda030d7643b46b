// What a new map changes against the one in use, channel by channel: a channel
// whose source is written the same is no change at all, so its visit goes on.
#pragma once
#include <cstdint>
#include <vector>

#include "feeder_options.h"

enum class MapChangeKind {
    ADDED,          // a channel the map in use does not have
    REMOVED,        // a channel the new map does not have
    CHANGED,        // the same channel with a source written otherwise
};

struct MapChange {
    MapChangeKind   kind;
    uint32_t        channel;
    ChannelMapping  before;     // empty for ADDED
    ChannelMapping  after;      // empty for REMOVED
};

// Both in channel order, each channel once; the changes come in channel order.
std::vector<MapChange> DiffMaps(const std::vector<ChannelMapping>& before, const std::vector<ChannelMapping>& after);
