#include "ts_check.h"

namespace {

const size_t PACKET = 188;
const uint8_t SYNC = 0x47;
const uint16_t NULL_PID = 0x1FFF;

bool HasAdaptation(const uint8_t* p) { return (p[3] & 0x20) != 0 && p[4] > 0; }
bool Discontinuous(const uint8_t* p) { return HasAdaptation(p) && (p[5] & 0x80) != 0; }
bool HasPcr(const uint8_t* p) { return HasAdaptation(p) && (p[5] & 0x10) != 0; }

} // namespace

void TsCheck::Packet(const uint8_t* p)
{
    ++m_report.packets;
    const uint16_t pid = static_cast<uint16_t>(((p[1] & 0x1F) << 8) | p[2]);
    m_report.pids.insert(pid);
    if (HasPcr(p))
        ++m_report.pcrPackets;
    if (pid == NULL_PID)
        return;
    const int counter = p[3] & 0x0F;
    const bool payload = (p[3] & 0x10) != 0;
    if (m_seen[pid] && !Discontinuous(p)) {
        const int expected = payload ? (m_lastCounter[pid] + 1) & 0x0F : m_lastCounter[pid];
        // One repeated packet is allowed; it carries the same counter.
        if (counter != expected && !(payload && counter == m_lastCounter[pid]))
            ++m_report.continuityErrors;
    }
    m_seen[pid] = true;
    m_lastCounter[pid] = counter;
}

void TsCheck::Feed(const uint8_t* data, size_t size)
{
    m_partial.insert(m_partial.end(), data, data + size);
    size_t at = 0;
    while (m_partial.size() - at >= PACKET) {
        if (m_partial[at] != SYNC) {
            ++m_report.syncLosses;
            ++at;
            continue;
        }
        Packet(&m_partial[at]);
        at += PACKET;
    }
    m_partial.erase(m_partial.begin(), m_partial.begin() + static_cast<ptrdiff_t>(at));
}
