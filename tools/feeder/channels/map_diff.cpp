#include "map_diff.h"

namespace {

const ChannelMapping* FindChannel(const std::vector<ChannelMapping>& mappings, uint32_t channel)
{
    for (const ChannelMapping& mapping : mappings)
        if (mapping.channel == channel)
            return &mapping;
    return nullptr;
}

} // namespace

std::vector<MapChange> DiffMaps(const std::vector<ChannelMapping>& before, const std::vector<ChannelMapping>& after)
{
    std::vector<MapChange> changes;
    for (uint32_t channel = 0; channel < FEEDER_CHANNELS; ++channel) {
        const ChannelMapping* old = FindChannel(before, channel);
        const ChannelMapping* now = FindChannel(after, channel);
        if (old == nullptr && now != nullptr)
            changes.push_back(MapChange{MapChangeKind::ADDED, channel, ChannelMapping(), *now});
        else if (old != nullptr && now == nullptr)
            changes.push_back(MapChange{MapChangeKind::REMOVED, channel, *old, ChannelMapping()});
        else if (old != nullptr && old->written != now->written)
            changes.push_back(MapChange{MapChangeKind::CHANGED, channel, *old, *now});
    }
    return changes;
}
