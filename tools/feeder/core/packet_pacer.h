// When each packet of a recording is due, so that it arrives as a live channel
// would: by the stream's own PCRs, at a constant bit rate, or at once.
#pragma once
#include <cstdint>

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
    void Restart() { m_rebase = true; }

private:
    double PcrDue(uint64_t pcr, double now);
    double Extrapolated() const;

    PaceMode    m_mode;
    double      m_bytesPerSecond;       // RATE: the given rate; PCR: measured between PCRs
    bool        m_started = false;
    double      m_startSeconds = 0.0;
    uint64_t    m_bytesSent = 0;
    // PCR clock: base PCR at base time, the last PCR seen and the bytes since it.
    int         m_pcrPid = -1;
    bool        m_rebase = false;
    uint64_t    m_basePcr = 0;
    double      m_baseSeconds = 0.0;
    uint64_t    m_lastPcr = 0;
    double      m_lastDue = 0.0;
    uint64_t    m_bytesSinceLastPcr = 0;
    uint64_t    m_bytesSinceBase = 0;
};
