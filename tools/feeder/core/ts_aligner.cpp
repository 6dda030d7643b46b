#include "ts_aligner.h"

namespace {
const size_t CONFIRM_SPAN = (TS_SYNC_CONFIRM_PACKETS - 1) * TS_PACKET_BYTES + 1;
}

size_t TsAlignmentOffset(const uint8_t* data, size_t size)
{
    for (size_t at = 0; at + TS_PACKET_BYTES <= size; ++at) {
        size_t agreed = 0;
        while (agreed < TS_SYNC_CONFIRM_PACKETS && at + agreed * TS_PACKET_BYTES < size
               && data[at + agreed * TS_PACKET_BYTES] == TS_SYNC_BYTE)
            ++agreed;
        const bool shortStream = at + agreed * TS_PACKET_BYTES >= size;
        if (agreed == TS_SYNC_CONFIRM_PACKETS || (agreed > 0 && shortStream))
            return at;
    }
    return size;
}

void TsAligner::Skip(size_t bytes)
{
    m_pos += bytes;
    m_skipped += bytes;
}

// Finds the first place where enough sync bytes in a row agree; skips what lies before.
bool TsAligner::Lock()
{
    while (m_held.size() - m_pos >= CONFIRM_SPAN) {
        bool agreed = true;
        for (size_t k = 0; k < TS_SYNC_CONFIRM_PACKETS && agreed; ++k)
            agreed = SyncAt(m_pos + k * TS_PACKET_BYTES);
        if (agreed)
            return m_locked = true;
        Skip(1);
    }
    return false;
}

// A packet goes out once it starts with sync and the byte after it is the next
// packet's sync; anything else means the packet was torn or junk followed it, and
// alignment is sought anew. Its own sync is checked too: a packet released in a
// quiet spell was never confirmed, so what follows it (junk, a sender restarted
// mid-packet) must prove itself.
void TsAligner::EmitConfirmed(std::vector<uint8_t>* out)
{
    while (m_locked && m_held.size() - m_pos > TS_PACKET_BYTES) {
        if (!SyncAt(m_pos) || !SyncAt(m_pos + TS_PACKET_BYTES)) {
            // The next real packet may begin inside this one: look from its second byte on.
            m_locked = false;
            Skip(1);
            return;
        }
        out->insert(out->end(), m_held.begin() + m_pos, m_held.begin() + m_pos + TS_PACKET_BYTES);
        m_pos += TS_PACKET_BYTES;
    }
}

void TsAligner::Compact()
{
    m_held.erase(m_held.begin(), m_held.begin() + m_pos);
    m_pos = 0;
}

void TsAligner::Push(const uint8_t* data, size_t size, std::vector<uint8_t>* out)
{
    m_held.insert(m_held.end(), data, data + size);
    for (;;) {
        if (!m_locked && !Lock())
            break;
        EmitConfirmed(out);
        if (m_locked)
            break;
    }
    Compact();
}

void TsAligner::Release(std::vector<uint8_t>* out)
{
    while (m_locked && m_held.size() - m_pos >= TS_PACKET_BYTES && SyncAt(m_pos)) {
        out->insert(out->end(), m_held.begin() + m_pos, m_held.begin() + m_pos + TS_PACKET_BYTES);
        m_pos += TS_PACKET_BYTES;
    }
    Compact();
}

void TsAligner::Flush(std::vector<uint8_t>* out)
{
    // Whole packets at the end, all starting with sync, are taken without the
    // usual confirmation: nothing more will come to confirm them.
    while (m_held.size() - m_pos >= TS_PACKET_BYTES) {
        bool whole = true;
        for (size_t at = m_pos; at + TS_PACKET_BYTES <= m_held.size() && whole; at += TS_PACKET_BYTES)
            whole = SyncAt(at);
        if (whole)
            break;
        Skip(1);
    }
    while (m_held.size() - m_pos >= TS_PACKET_BYTES) {
        out->insert(out->end(), m_held.begin() + m_pos, m_held.begin() + m_pos + TS_PACKET_BYTES);
        m_pos += TS_PACKET_BYTES;
    }
    Skip(m_held.size() - m_pos);
    Compact();
    m_locked = false;
}

void TsAligner::Drop()
{
    m_pos = m_held.size();
    Compact();
    m_locked = false;
}

void TsAligner::Reset()
{
    Skip(m_held.size() - m_pos);
    Compact();
    m_locked = false;
}
