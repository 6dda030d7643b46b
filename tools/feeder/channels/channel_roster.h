// The channels being fed and their workers, which a map change may add, stop or
// replace while the others go on. Each worker has a stop event of its own, so
// one channel can be stopped alone; the feeder's stop sets them all. A stopped
// worker is freed once its thread has ended, and a replacement for its channel
// starts only then, so the two never share the channel's pipe or status row.
#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "channel_worker.h"
#include "driver_gate.h"
#include "feeder_options.h"
#include "map_diff.h"
#include "status_board.h"

class ChannelRoster {
public:
    ChannelRoster(StatusBoard* board, const DriverGate* gate);
    ~ChannelRoster();
    ChannelRoster(const ChannelRoster&) = delete;
    ChannelRoster& operator=(const ChannelRoster&) = delete;

    // Starts a worker per mapping; false with *why naming the channel that could not start.
    bool Start(const std::vector<ChannelMapping>& mappings, std::string* why);
    // Moves to a new map, with one event line per channel that changes.
    void Apply(const std::vector<ChannelMapping>& mappings);
    // Frees stopped workers and starts the replacements that waited for them.
    // True while a worker is still stopping.
    bool Reap();
    // Stops every worker within boundMs all told; false when one is still running.
    bool Stop(DWORD boundMs);
    // The map in use.
    std::vector<ChannelMapping> Mappings();

private:
    struct Member {
        std::unique_ptr<ChannelWorker>  worker;
        HANDLE                          hStop = NULL;   // the worker's own; closed after the worker is freed
        uint32_t                        channel = 0;
    };
    bool StartWorker(const ChannelMapping& mapping, std::string* why);
    void StopWorker(uint32_t channel);
    void ApplyChange(const MapChange& change);
    bool StillStopping(uint32_t channel) const;
    void StartWaiting();

    StatusBoard*                    m_board;
    const DriverGate*               m_gate;
    CRITICAL_SECTION                m_csLock;       // everything below: a reload and the feeder's stop may meet
    std::vector<ChannelMapping>     m_mappings;     // the map in use
    std::vector<Member>             m_running;
    std::vector<Member>             m_stopping;     // told to stop, not yet ended
    std::vector<ChannelMapping>     m_waiting;      // to start once their channel's old worker has ended
    bool                            m_bStopped = false;
};
