// Whether a recording's PCRs can pace it: a rate needs two different PCR
// values of one PID, so a single PCR, or one repeated, gives none.
#pragma once
#include <cstdint>
#include <map>

class PcrProbe {
public:
    // Looks at one whole packet of the scanned span.
    void Add(const uint8_t* packet);
    bool SawPcr() const { return !m_firstPcr.empty(); }
    bool GivesRate() const { return m_givesRate; }

private:
    std::map<uint16_t, uint64_t>    m_firstPcr;     // per PID that carries PCRs
    bool                            m_givesRate = false;
};
