#include "packet_stream.h"

#include <cstring>

namespace {

const uint32_t PID_HIGH_MASK = 0x1F;
const uint8_t  PAYLOAD_ONLY = 0x10;          // adaptation field control 01, not scrambled
const uint8_t  CONTINUITY_MASK = 0x0F;
const size_t   RANDOM_WORD_BYTES = 8;

} // namespace

PacketStream::PacketStream(uint64_t seed, uint32_t pid)
    : m_random(seed), m_pid(pid)
{
}

void PacketStream::MakePacket()
{
    m_packet[0] = PACKET_SYNC_BYTE;
    m_packet[1] = static_cast<uint8_t>((m_pid >> 8) & PID_HIGH_MASK);
    m_packet[2] = static_cast<uint8_t>(m_pid);
    m_packet[3] = static_cast<uint8_t>(PAYLOAD_ONLY | m_continuity);
    m_continuity = static_cast<uint8_t>((m_continuity + 1) & CONTINUITY_MASK);
    for (size_t i = PACKET_HEADER_SIZE; i < PACKET_SIZE; i += RANDOM_WORD_BYTES) {
        const uint64_t word = m_random.Next();
        const size_t n = PACKET_SIZE - i < RANDOM_WORD_BYTES ? PACKET_SIZE - i : RANDOM_WORD_BYTES;
        std::memcpy(&m_packet[i], &word, n);
    }
    m_offset = 0;
}

void PacketStream::Fill(uint8_t* dst, size_t size)
{
    while (size > 0) {
        if (m_offset == PACKET_SIZE)
            MakePacket();
        const size_t n = PACKET_SIZE - m_offset < size ? PACKET_SIZE - m_offset : size;
        std::memcpy(dst, &m_packet[m_offset], n);
        m_offset += n;
        dst += n;
        size -= n;
    }
}
