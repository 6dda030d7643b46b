// The few transport-stream packet fields the feeder reads or rewrites.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr size_t   TS_PACKET_BYTES = 188;
constexpr uint8_t  TS_SYNC_BYTE = 0x47;
constexpr uint16_t TS_NULL_PID = 0x1FFF;
constexpr uint16_t TS_PID_COUNT = 0x2000;
constexpr uint64_t PCR_TICKS_PER_SECOND = 27000000;

inline bool     TsHasSync(const uint8_t* p) { return p[0] == TS_SYNC_BYTE; }
inline uint16_t TsPid(const uint8_t* p) { return static_cast<uint16_t>(((p[1] & 0x1F) << 8) | p[2]); }
inline uint8_t  TsContinuity(const uint8_t* p) { return p[3] & 0x0F; }
inline bool     TsHasPayload(const uint8_t* p) { return (p[3] & 0x10) != 0; }
inline void     TsSetContinuity(uint8_t* p, uint8_t cc) { p[3] = static_cast<uint8_t>((p[3] & 0xF0) | (cc & 0x0F)); }

// The PCR in 27 MHz ticks, when the packet carries one.
bool TsReadPcr(const uint8_t* packet, uint64_t* pcr);
// Marks the packet's adaptation field discontinuous; false when it has none.
bool TsSetDiscontinuity(uint8_t* packet);
