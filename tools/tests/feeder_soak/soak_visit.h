// One visit of a soak host to a channel, checked the way a viewer would notice
// trouble, and the line that carries it to the soak. Plain C++.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct BlockTime {
    double      at;         // seconds on the clock every soak process shares
    uint32_t    bytes;
};

struct Interval {
    double      from;
    double      to;
};

struct VisitData {
    uint32_t                slot = 0;
    uint32_t                channel = 0;
    double                  selectedAt = 0.0;
    double                  endedAt = 0.0;
    double                  stalledSeconds = 0.0;   // the host took nothing on purpose
    bool                    cut = false;            // ended early by the soak (a count, a fault elsewhere)
    std::vector<Interval>   stalls;
    std::vector<uint8_t>    bytes;
    std::vector<BlockTime>  blocks;
};

struct VisitRecord {
    uint32_t    slot = 0;
    uint32_t    channel = 0;
    double      selectedAt = 0.0;
    double      endedAt = 0.0;
    double      zapSeconds = -1.0;      // to the first data; < 0: none came
    uint64_t    bytes = 0;
    uint64_t    packets = 0;
    uint32_t    foreignPids = 0;        // PIDs of another channel's source
    uint32_t    firstForeign = 0;
    uint64_t    continuityErrors = 0;
    uint64_t    strayBytes = 0;         // not in a whole packet at a sync byte: sync lost
    double      rateRatio = 0.0;        // received rate over the clip's; 0: visit too short to say
    double      stalledSeconds = 0.0;
    bool        cut = false;
    double      longestGap = 0.0;       // between blocks after the first, stalls left out
};

VisitRecord CheckVisit(const VisitData& visit);
std::string FormatVisit(const VisitRecord& record);
// False for a line that is no visit line.
bool ParseVisit(const std::string& line, VisitRecord* record);
