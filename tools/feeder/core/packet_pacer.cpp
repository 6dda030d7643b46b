#include "packet_pacer.h"

#include "ts_packet.h"

namespace {

const double BITS_PER_BYTE = 8.0;
// A PCR further ahead than this is a new clock, not a pause in the stream.
const double PCR_JUMP_SECONDS = 1.0;
// Sent later than this behind its time (the host held us back): start the clock anew
// rather than burst to catch up.
const double LATE_REBASE_SECONDS = 1.0;

} // namespace

PacketPacer::PacketPacer(PaceMode mode, uint64_t bitsPerSecond)
    : m_mode(mode), m_bytesPerSecond(static_cast<double>(bitsPerSecond) / BITS_PER_BYTE)
{
}

double PacketPacer::DueSeconds(const uint8_t* packet, double now)
{
    if (!m_started) {
        m_started = true;
        m_startSeconds = now;
        m_lastDue = now;
    }
    switch (m_mode) {
    case PaceMode::NONE:
        return now;
    case PaceMode::RATE: {
        const double due = m_startSeconds + static_cast<double>(m_bytesSent) / m_bytesPerSecond;
        if (now - due <= LATE_REBASE_SECONDS)
            return due;
        m_startSeconds = now - static_cast<double>(m_bytesSent) / m_bytesPerSecond;
        return now;
    }
    default:
        break;
    }
    uint64_t pcr = 0;
    if (TsReadPcr(packet, &pcr) && (m_pcrPid < 0 || TsPid(packet) == m_pcrPid))
        return PcrDue(pcr, now);
    return Extrapolated();
}

double PacketPacer::Extrapolated() const
{
    if (m_bytesPerSecond <= 0.0)
        return m_lastDue;
    return m_lastDue + static_cast<double>(m_bytesSinceLastPcr) / m_bytesPerSecond;
}

double PacketPacer::PcrDue(uint64_t pcr, double now)
{
    const double ahead = (static_cast<double>(pcr) - static_cast<double>(m_lastPcr)) / PCR_TICKS_PER_SECOND;
    const bool first = m_pcrPid < 0;
    if (first || m_rebase || ahead < 0.0 || ahead > PCR_JUMP_SECONDS) {
        m_basePcr = pcr;
        m_baseSeconds = first ? now : Extrapolated();
        m_bytesSinceBase = 0;
        return m_baseSeconds;
    }
    const double due = m_baseSeconds + static_cast<double>(pcr - m_basePcr) / PCR_TICKS_PER_SECOND;
    if (now - due > LATE_REBASE_SECONDS) {
        m_basePcr = pcr;
        m_baseSeconds = now;
        m_bytesSinceBase = 0;
        return now;
    }
    return due;
}

void PacketPacer::Commit(const uint8_t* packet)
{
    m_bytesSent += TS_PACKET_BYTES;
    if (m_mode != PaceMode::PCR)
        return;
    uint64_t pcr = 0;
    if (TsReadPcr(packet, &pcr) && (m_pcrPid < 0 || TsPid(packet) == m_pcrPid)) {
        // The due time was worked out by DueSeconds for this very packet; recompute its parts.
        m_lastDue = m_baseSeconds + static_cast<double>(pcr - m_basePcr) / PCR_TICKS_PER_SECOND;
        if (m_bytesSinceBase > 0 && pcr > m_basePcr)
            m_bytesPerSecond = static_cast<double>(m_bytesSinceBase)
                             / (static_cast<double>(pcr - m_basePcr) / PCR_TICKS_PER_SECOND);
        m_pcrPid = TsPid(packet);
        m_lastPcr = pcr;
        m_rebase = false;
        m_bytesSinceLastPcr = 0;
    }
    m_bytesSinceLastPcr += TS_PACKET_BYTES;
    m_bytesSinceBase += TS_PACKET_BYTES;
}
