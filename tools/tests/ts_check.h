// Reads a transport stream as a host would record it and counts what a viewer
// would notice: lost sync, continuity-counter errors, which PIDs came.
#pragma once
#include <cstddef>
#include <cstdint>
#include <set>
#include <vector>

struct TsReport {
    uint64_t            packets = 0;
    uint64_t            syncLosses = 0;         // bytes skipped to find the next packet
    uint64_t            continuityErrors = 0;
    uint64_t            pcrPackets = 0;
    std::set<uint16_t>  pids;
};

class TsCheck {
public:
    // Takes bytes in any pieces; a packet cut between two calls is joined.
    void Feed(const uint8_t* data, size_t size);
    const TsReport& Report() const { return m_report; }

private:
    void Packet(const uint8_t* p);

    TsReport                m_report;
    std::vector<uint8_t>    m_partial;
    int                     m_lastCounter[0x2000];
    bool                    m_seen[0x2000] = {};
};
