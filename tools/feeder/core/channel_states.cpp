#include "channel_states.h"

namespace {

using S = ChannelState;
using E = ChannelEvent;

// The advice follows as the line's detail: it depends on how the feeder runs.
const char DENIED_SAYS[] = "access denied to the host's pipe";

const ChannelTransition TRANSITIONS[] = {
    {S::WATCHING,    E::PIPE_BUSY,     S::BUSY,        "pipe busy: another writer holds it; watching until it is free"},
    {S::BUSY,        E::PIPE_FREE,     S::WATCHING,    "the other writer has gone; watching"},
    {S::WATCHING,    E::PIPE_DENIED,   S::DENIED,      DENIED_SAYS},
    {S::BUSY,        E::PIPE_DENIED,   S::DENIED,      DENIED_SAYS},
    {S::DENIED,      E::PIPE_FREE,     S::WATCHING,    "the refusing pipe has gone; watching"},
    {S::DENIED,      E::HOST_FOUND,    S::CONNECTING,  "host selected the channel; opening the source"},
    {S::WATCHING,    E::HOST_FOUND,    S::CONNECTING,  "host selected the channel; opening the source"},
    {S::BUSY,        E::HOST_FOUND,    S::CONNECTING,  "host selected the channel; opening the source"},
    {S::CONNECTING,  E::SOURCE_OPENED, S::STREAMING,   "streaming"},
    {S::CONNECTING,  E::SOURCE_FAILED, S::SOURCE_DOWN, "source down"},
    {S::STREAMING,   E::SOURCE_FAILED, S::SOURCE_DOWN, "source down"},
    {S::STREAMING,   E::SOURCE_ENDED,  S::ENDED,       "source ended; connected and idle until the host leaves"},
    {S::SOURCE_DOWN, E::RETRY_DUE,     S::RETRYING,    "retrying the source"},
    {S::RETRYING,    E::SOURCE_OPENED, S::STREAMING,   "source back; streaming"},
    {S::RETRYING,    E::SOURCE_FAILED, S::SOURCE_DOWN, "source down"},
    {S::CONNECTING,  E::HOST_LEFT,     S::WATCHING,    "host left; source closed"},
    {S::STREAMING,   E::HOST_LEFT,     S::WATCHING,    "host left; source closed"},
    {S::ENDED,       E::HOST_LEFT,     S::WATCHING,    "host left; source closed"},
    {S::SOURCE_DOWN, E::HOST_LEFT,     S::WATCHING,    "host left"},
    {S::RETRYING,    E::HOST_LEFT,     S::WATCHING,    "host left; source closed"},
    {S::WATCHING,    E::STOP,          S::STOPPED,     "stopped"},
    {S::BUSY,        E::STOP,          S::STOPPED,     "stopped"},
    {S::DENIED,      E::STOP,          S::STOPPED,     "stopped"},
    {S::CONNECTING,  E::STOP,          S::STOPPED,     "stopped; source closed"},
    {S::STREAMING,   E::STOP,          S::STOPPED,     "stopped; source closed"},
    {S::ENDED,       E::STOP,          S::STOPPED,     "stopped; source closed"},
    {S::SOURCE_DOWN, E::STOP,          S::STOPPED,     "stopped"},
    {S::RETRYING,    E::STOP,          S::STOPPED,     "stopped; source closed"},
};

} // namespace

const ChannelTransition* FindTransition(ChannelState from, ChannelEvent event)
{
    for (const ChannelTransition& t : TRANSITIONS)
        if (t.from == from && t.event == event)
            return &t;
    return nullptr;
}

const char* StateName(ChannelState state)
{
    switch (state) {
    case S::WATCHING:    return "waiting for a host";
    case S::BUSY:        return "pipe busy (another writer)";
    case S::DENIED:      return "pipe access denied";
    case S::CONNECTING:  return "connecting";
    case S::STREAMING:   return "streaming";
    case S::ENDED:       return "source ended; idle";
    case S::SOURCE_DOWN: return "source down";
    case S::RETRYING:    return "retrying";
    default:             return "stopped";
    }
}

std::vector<std::string> AllStateNames()
{
    std::vector<std::string> names;
    for (int state = static_cast<int>(S::WATCHING); state <= static_cast<int>(S::STOPPED); ++state)
        names.push_back(StateName(static_cast<ChannelState>(state)));
    return names;
}

bool HoldsPipe(ChannelState state)
{
    return state == S::CONNECTING || state == S::STREAMING || state == S::ENDED
        || state == S::SOURCE_DOWN || state == S::RETRYING;
}
