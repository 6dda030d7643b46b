// An endless stream of 188-byte transport packets that can be cut anywhere:
// sync byte 0x47, a 13-bit PID, payload only, a 4-bit continuity counter that
// counts up per packet, and 184 payload bytes drawn from the seed.
#pragma once
#include <cstddef>
#include <cstdint>

#include "prng.h"

constexpr size_t  PACKET_SIZE = 188;
constexpr size_t  PACKET_HEADER_SIZE = 4;
constexpr uint8_t PACKET_SYNC_BYTE = 0x47;

class PacketStream {
public:
    PacketStream(uint64_t seed, uint32_t pid);
    // The next `size` bytes; the same whatever the cuts between calls.
    void Fill(uint8_t* dst, size_t size);

private:
    void MakePacket();

    SplitMix64  m_random;
    uint32_t    m_pid;
    uint8_t     m_continuity = 0;
    uint8_t     m_packet[PACKET_SIZE];
    size_t      m_offset = PACKET_SIZE;     // read position in m_packet; at the end: make the next
};
