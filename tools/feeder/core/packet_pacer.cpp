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
    const PcrTurn turn = m_follower.Peek(packet, &pcr);
    if (turn == PcrTurn::NONE)
        return Extrapolated();
    if (turn == PcrTurn::LEADS) {
        m_pendingDue = LeadDue(pcr, now);
    } else {
        const PcrSighting start = m_follower.RunStart(packet, pcr, m_bytesSent);
        m_pendingDue = turn == PcrTurn::TAKES_OVER ? TakeOverDue(start, pcr, now) : ChallengerDue(start, pcr, now);
    }
    return m_pendingDue;
}

void PacketPacer::Restart()
{
    m_rebase = true;
    m_follower = PcrFollower();     // the pass begins with its first PID again
}

double PacketPacer::Extrapolated() const
{
    if (m_bytesPerSecond <= 0.0)
        return m_lastDue;
    return m_lastDue + static_cast<double>(m_bytesSinceLastPcr) / m_bytesPerSecond;
}

bool PacketPacer::Continues(uint64_t pcr) const
{
    return pcr >= m_leadPcr && static_cast<double>(pcr - m_leadPcr) / PCR_TICKS_PER_SECOND <= PCR_JUMP_SECONDS;
}

double PacketPacer::LeadDue(uint64_t pcr, double now)
{
    const bool first = !m_following;
    if (first || m_rebase || !Continues(pcr)) {
        m_basePcr = pcr;
        m_baseSeconds = first ? now : Extrapolated();
        m_bytesSinceBase = 0;
        return m_baseSeconds;
    }
    return SteadyDue(pcr, now);
}

// Where the leading PID's clock puts a PCR of another PID: on that clock when it continues
// it, else where the bytes since the leading PID's last PCR put it at that PID's rate.
double PacketPacer::WhereTheLeadPuts(const PcrSighting& sighting) const
{
    if (Continues(sighting.pcr))
        return m_leadDue + static_cast<double>(sighting.pcr - m_leadPcr) / PCR_TICKS_PER_SECOND;
    if (m_leadBytesPerSecond <= 0.0)
        return m_leadDue;
    return m_leadDue + static_cast<double>(sighting.position - m_follower.Last().position) / m_leadBytesPerSecond;
}

// While the leading PID is silent, another PID's PCRs time its packets from the first of
// them, so that the new PID's first moments go at their own pace, not the old one's.
double PacketPacer::ChallengerDue(const PcrSighting& start, uint64_t pcr, double now) const
{
    const double due = WhereTheLeadPuts(start) + static_cast<double>(pcr - start.pcr) / PCR_TICKS_PER_SECOND;
    return now - due > LATE_REBASE_SECONDS ? now : due;
}

// The PID takes the lead: its clock runs from its first PCR in the silence, its rate measured from there.
double PacketPacer::TakeOverDue(const PcrSighting& start, uint64_t pcr, double now)
{
    m_basePcr = start.pcr;
    m_baseSeconds = WhereTheLeadPuts(start);
    m_bytesSinceBase = m_bytesSent - start.position;
    return SteadyDue(pcr, now);
}

double PacketPacer::SteadyDue(uint64_t pcr, double now)
{
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
    const uint64_t position = m_bytesSent;
    m_bytesSent += TS_PACKET_BYTES;
    if (m_mode != PaceMode::PCR)
        return;
    uint64_t pcr = 0;
    const PcrTurn turn = m_follower.Peek(packet, &pcr);
    if (turn != PcrTurn::NONE)
        CommitPcr(packet, turn, pcr, position);
    m_follower.Add(packet, position);
    m_bytesSinceLastPcr += TS_PACKET_BYTES;
    m_bytesSinceBase += TS_PACKET_BYTES;
}

void PacketPacer::CommitPcr(const uint8_t* packet, PcrTurn turn, uint64_t pcr, uint64_t position)
{
    m_lastDue = m_pendingDue;
    m_bytesSinceLastPcr = 0;
    if (turn == PcrTurn::CHALLENGES) {
        const PcrSighting start = m_follower.RunStart(packet, pcr, position);
        if (pcr > start.pcr)
            m_bytesPerSecond = static_cast<double>(position - start.position)
                             / (static_cast<double>(pcr - start.pcr) / PCR_TICKS_PER_SECOND);
        return;
    }
    if (m_bytesSinceBase > 0 && pcr > m_basePcr)
        m_leadBytesPerSecond = static_cast<double>(m_bytesSinceBase)
                             / (static_cast<double>(pcr - m_basePcr) / PCR_TICKS_PER_SECOND);
    m_bytesPerSecond = m_leadBytesPerSecond;
    m_following = true;
    m_rebase = false;
    m_leadPcr = pcr;
    m_leadDue = m_pendingDue;
}
