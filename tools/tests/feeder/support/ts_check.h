// Looks into a recorded transport stream the way a receiver would: which PIDs it
// holds, whether any PID's continuity counter skipped, and where its PCRs are.
#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

struct TsPcr {
    uint64_t    offset;         // byte offset of the packet in the stream
    uint64_t    ticks;          // 27 MHz
    bool        discontinuity;  // the packet's discontinuity indicator
};

struct TsReport {
    uint64_t                packets = 0;
    uint64_t                strayBytes = 0;     // bytes not in a 188-byte packet that starts with 0x47
    std::set<uint16_t>      pids;
    uint64_t                continuityErrors = 0;
    std::string             firstError;         // "PID 0x100 at byte 376: 5 after 3"
    std::vector<TsPcr>      pcrs;               // of the first PID that carries PCRs
    std::map<uint16_t, std::vector<TsPcr>> pcrsByPid;  // of every PID that carries PCRs
};

TsReport CheckTransportStream(const uint8_t* data, size_t size);
inline TsReport CheckTransportStream(const std::vector<uint8_t>& data)
{
    return CheckTransportStream(data.data(), data.size());
}

// Bits per second by the PCRs: the bytes between the first and last PCR over the
// time between them, when they run forward without a discontinuity; 0 otherwise.
double PcrBitRate(const TsReport& report);
// "0x100, 0x101" for messages.
std::string PidList(const std::set<uint16_t>& pids);
