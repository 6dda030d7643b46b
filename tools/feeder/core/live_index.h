// Where a looped recording stands at any moment, as if it had been playing since
// the feeder started: marks of (packet, stream time) taken from its PCRs, sparse
// enough that a multi-GB recording keeps a small index. Plain C++, fuzzed natively.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "pcr_follower.h"

// Stream time between two marks, at least: 10 marks a second of recording.
constexpr double LIVE_MARK_SPACING_SECONDS = 0.1;

struct LiveMark {
    uint64_t    offset;     // bytes after the recording's first packet; a packet with a PCR starts there
    uint64_t    ticks;      // 27 MHz stream time since the first PCR
};

class LiveIndex {
public:
    // The mark to enter at `seconds` after the feeder started: the last one at or before
    // that point of the loop, so a visit starts no later than a live channel would be.
    LiveMark EntryAt(double seconds) const;
    double LoopSeconds() const;
    size_t MarkCount() const { return m_marks.size(); }
    const std::vector<LiveMark>& Marks() const { return m_marks; }
    uint64_t Start() const { return m_start; }
    uint64_t Usable() const { return m_usable; }

private:
    friend class LiveIndexBuilder;

    std::vector<LiveMark>   m_marks;            // rising in offset and ticks; the first at tick 0
    uint64_t                m_loopTicks = 0;    // one pass, the seam included
    uint64_t                m_start = 0;        // file offset of the first packet
    uint64_t                m_usable = 0;       // whole packets of one pass, in bytes
};

// Takes a recording's packets in order and keeps its marks. Stream time runs as the
// pacer runs it: a PCR that goes back or jumps ahead is a new clock, and the time
// across it is the bytes between at the rate of the clock before; the PCRs followed are
// those the pacer follows, another PID's once the first has fallen silent.
class LiveIndexBuilder {
public:
    // `offset` counts from the first packet; packets without sync are passed over.
    void Add(const uint8_t* packet, uint64_t offset);
    // False with *why set when the packets give no clock to place a visit by.
    bool Finish(const std::string& path, uint64_t start, uint64_t usable, LiveIndex* out, std::string* why) const;

private:
    void AddPcr(uint64_t pcr, uint64_t offset);
    void StartClock();
    uint64_t TicksForBytes(uint64_t bytes) const;

    PcrFollower             m_follower;
    bool                    m_following = false;    // a PCR was followed
    uint64_t                m_firstOffset = 0;
    uint64_t                m_lastPcr = 0;
    uint64_t                m_lastOffset = 0;
    uint64_t                m_ticks = 0;            // stream time of the last PCR
    uint64_t                m_steadyTicks = 0;      // time between PCRs that ran on
    uint64_t                m_runBytes = 0;         // bytes and time since the present clock began
    uint64_t                m_runTicks = 0;
    uint64_t                m_rateBytes = 0;        // the rate across a new clock, as the pacer measured it
    uint64_t                m_rateTicks = 0;
    std::vector<LiveMark>   m_marks;
};
