// What the feeder tells the user. On a terminal: event lines, and below them one
// status line per mapped channel, redrawn about once a second. Otherwise (a file,
// a pipe, a scheduled task): event lines with the time, and a summary at the end.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "channel_states.h"
#include "clock.h"
#include "feeder_options.h"

struct ChannelFigures {
    ChannelState    state = ChannelState::WATCHING;
    std::string     detail;             // source down: the reason
    double          retryAt = 0.0;      // board seconds of the next try, while down
    uint64_t        accepted = 0;       // bytes the pipe took, every visit
    uint64_t        delivered = 0;      // of those, certainly read by the driver
    uint64_t        inDoubt = 0;        // maybe still in the pipe when the host left
    uint64_t        drops = 0;          // whole packets dropped by the source
    uint32_t        visits = 0;         // times a host selected the channel
    uint32_t        failures = 0;       // times the source failed
};

class StatusBoard {
public:
    explicit StatusBoard(const std::vector<ChannelMapping>& mappings);
    ~StatusBoard();
    StatusBoard(const StatusBoard&) = delete;
    StatusBoard& operator=(const StatusBoard&) = delete;

    double Now() const { return m_clock.Seconds(); }
    // "HH:MM:SS.mmm channel N: line"
    void Event(uint32_t channel, const std::string& line);
    void Publish(uint32_t channel, const ChannelFigures& figures);
    void Refresh();
    void Summary();

private:
    struct Row {
        uint32_t        channel;
        std::string     source;
        ChannelFigures  figures;
        uint64_t        lastAccepted = 0;
        double          lastSeconds = 0.0;
        double          bitsPerSecond = 0.0;
    };
    Row* Find(uint32_t channel);
    std::string StatusLine(const Row& row) const;
    void EraseStatus();
    void DrawStatus();

    CRITICAL_SECTION    m_csLock;           // every member below, and standard output
    Stopwatch           m_clock;
    std::vector<Row>    m_rows;
    bool                m_bTerminal;
    size_t              m_drawnLines = 0;
};
