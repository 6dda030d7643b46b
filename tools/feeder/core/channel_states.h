// A channel's life, in one table: every state, every event that moves it, and
// the line each move prints.
#pragma once
#include <string>
#include <vector>

enum class ChannelState {
    WATCHING,       // looking for the channel's pipe: no host on it
    BUSY,           // the pipe is there but another writer holds it
    DENIED,         // the pipe is there but refuses this feeder's user
    CONNECTING,     // a host selected the channel; the source is being opened
    STREAMING,      // the source's bytes flow to the host
    ENDED,          // the source has finished (a file without ?loop); idle until the host leaves
    SOURCE_DOWN,    // the source failed; waiting before the next try
    RETRYING,       // opening the source again
    STOPPED,        // the feeder is ending
};

enum class ChannelEvent {
    PIPE_BUSY,      // the pipe exists but is held by another writer
    PIPE_DENIED,    // the pipe exists but opening it was refused: access denied
    PIPE_FREE,      // the other writer's or the refusing pipe has gone, or is free
    HOST_FOUND,     // the pipe opened: a host has selected the channel
    SOURCE_OPENED,
    SOURCE_FAILED,
    SOURCE_ENDED,
    RETRY_DUE,
    HOST_LEFT,      // writes or the presence check failed with 109, 232 or 233
    STOP,           // Ctrl+C or --seconds
};

struct ChannelTransition {
    ChannelState    from;
    ChannelEvent    event;
    ChannelState    to;
    const char*     says;       // the event line, before any detail
};

// The move for this event in this state, or null when the event does not apply.
const ChannelTransition* FindTransition(ChannelState from, ChannelEvent event);
// "watching", "streaming", ... for status lines.
const char* StateName(ChannelState state);
// Every state's name, for figures that list them all.
std::vector<std::string> AllStateNames();
// Connected to a host: the pipe is open.
bool HoldsPipe(ChannelState state);
