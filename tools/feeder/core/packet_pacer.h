// When each packet of a recording is due, so that it arrives as a live channel
// would: by the stream's own PCRs, at a constant bit rate, or at once.
#pragma once
#include <cstdint>

#include "pcr_follower.h"

enum class PaceMode { PCR, RATE, NONE };

class PacketPacer {
public:
    PacketPacer(PaceMode mode, uint64_t bitsPerSecond);
    // The wall-clock second at which the packet may go; `now` is the current
    // second. Call once per packet, in order, only when it is sent (Commit).
    double DueSeconds(const uint8_t* packet, double now);
    // The packet asked about last has been sent.
    void Commit(const uint8_t* packet);
    // The recording starts again: the next PCR continues the clock.
    void Restart();

private:
    bool Continues(uint64_t pcr) const;
    double LeadDue(uint64_t pcr, double now);
    double WhereTheLeadPuts(const PcrSighting& sighting) const;
    double ChallengerDue(const PcrSighting& start, uint64_t pcr, double now) const;
    double TakeOverDue(const PcrSighting& start, uint64_t pcr, double now);
    double SteadyDue(uint64_t pcr, double now);
    double Extrapolated() const;
    void CommitPcr(const uint8_t* packet, PcrTurn turn, uint64_t pcr, uint64_t position);

    PaceMode    m_mode;
    double      m_bytesPerSecond;       // RATE: the given rate; PCR: that of the PCRs last timed by
    bool        m_started = false;
    double      m_startSeconds = 0.0;
    uint64_t    m_bytesSent = 0;
    // The leading PID's clock: base PCR at base time, its last PCR, when that was due, its rate.
    PcrFollower m_follower;
    bool        m_following = false;    // a PCR led
    bool        m_rebase = false;
    uint64_t    m_basePcr = 0;
    double      m_baseSeconds = 0.0;
    uint64_t    m_bytesSinceBase = 0;
    uint64_t    m_leadPcr = 0;
    double      m_leadDue = 0.0;
    double      m_leadBytesPerSecond = 0.0;
    // The last PCR timed by, the leading PID's or another's, and the bytes since it.
    double      m_lastDue = 0.0;
    uint64_t    m_bytesSinceLastPcr = 0;
    double      m_pendingDue = 0.0;     // what DueSeconds gave the PCR packet about to be sent
};
