// Named shared memory through which the soak steers its host processes (park,
// hold a channel, stall, stop) and they report (heartbeat, the call they are
// in, data times). Times are microseconds of the performance counter, which
// every process of the machine shares.
#pragma once
#include <windows.h>

#include <string>

#include "soak_layout.h"

constexpr uint32_t MAX_HOST_SLOTS = 8;

enum class HostCall : LONG { NONE, LOAD, SELECT, WAIT, TAKE, CLOSE, STALL, PARKED };
const char* HostCallName(LONG call);

struct SlotBoard {
    volatile LONG64 beatUs;         // the host's last pass through its loop
    volatile LONG   call;           // a HostCall the host is in
    volatile LONG   parked;         // the host has closed its tuner and waits
    volatile LONG   stallMs;        // set by the soak: take nothing this long; the host clears it
    volatile LONG   channel;        // selected, or -1
};

struct ChannelBoard {
    volatile LONG   hold;           // set by the soak: the owning host goes to this channel and stays
    volatile LONG   minGapMs;       // a recovery counts only after data paused this long
    volatile LONG   rezap;          // set by the soak: the host selects the channel anew, and the
                                    // new visit's first data is the recovery
    volatile LONG64 lastDataUs;
    volatile LONG64 restoredUs;     // set by the soak (or by a host after a stall); 0: none pending
    volatile LONG64 recoveredUs;    // set by the host: first data after restoredUs
};

struct SoakBoardLayout {
    volatile LONG   stop;
    volatile LONG   park;
    SlotBoard       slots[MAX_HOST_SLOTS];
    ChannelBoard    channels[SOAK_CHANNEL_COUNT];
};

class SoakBoard {
public:
    SoakBoard() = default;
    SoakBoard(const SoakBoard&) = delete;
    SoakBoard& operator=(const SoakBoard&) = delete;
    ~SoakBoard();
    bool Create(const std::string& name);   // the soak
    bool Open(const std::string& name);     // a host
    SoakBoardLayout* operator->() const { return m_view; }

private:
    HANDLE              m_hMapping = NULL;
    SoakBoardLayout*    m_view = nullptr;
};

LONG64 NowUs();
inline double UsToSeconds(LONG64 us) { return us / 1e6; }
