// Packet alignment for byte streams that may start mid-packet, carry junk between
// packets or resume mid-packet after a reconnect. Only whole 188-byte packets
// leave it, each starting at a sync byte that the next packet's sync confirms;
// alignment is taken only where several sync bytes in a row, 188 apart, agree.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "ts_packet.h"

// Sync bytes in a row, a packet apart, that establish alignment.
constexpr size_t TS_SYNC_CONFIRM_PACKETS = 3;

// Where packets start in the first bytes of a stream: the first offset where
// enough sync bytes in a row agree (or, in fewer bytes than that, where every
// whole packet starts with sync); `size` when none does.
size_t TsAlignmentOffset(const uint8_t* data, size_t size);

class TsAligner {
public:
    // Appends the whole packets now known to `out`.
    void Push(const uint8_t* data, size_t size, std::vector<uint8_t>* out);
    // The source is quiet: a whole packet held for want of the next one's sync goes
    // out, so that a stream that pauses is not a packet behind for the pause.
    void Release(std::vector<uint8_t>* out);
    // The stream has ended: what is still held and whole goes out, the rest is skipped.
    void Flush(std::vector<uint8_t>* out);
    // A reconnect: a packet begun before it is never finished by bytes after it.
    void Reset();
    // A new visit: what the last one held went to no host. It was not left out of
    // the stream, so it is not counted as skipped.
    void Drop();
    // Bytes left out since the start: before alignment, between packets, torn packets.
    uint64_t SkippedBytes() const { return m_skipped; }
    size_t HeldBytes() const { return m_held.size() - m_pos; }

private:
    bool SyncAt(size_t at) const { return m_held[at] == TS_SYNC_BYTE; }
    bool Lock();
    void EmitConfirmed(std::vector<uint8_t>* out);
    void Skip(size_t bytes);
    void Compact();

    std::vector<uint8_t>    m_held;         // bytes received and not yet passed on or skipped
    size_t                  m_pos = 0;      // where the unhandled part of m_held starts
    bool                    m_locked = false;
    uint64_t                m_skipped = 0;
};
