#include "pcr_probe.h"

#include "ts_packet.h"

void PcrProbe::Add(const uint8_t* packet)
{
    uint64_t pcr = 0;
    if (m_givesRate || !TsReadPcr(packet, &pcr))
        return;
    // Only the first value per PID is kept: any other value of the same PID gives a rate.
    const auto first = m_firstPcr.emplace(TsPid(packet), pcr).first;
    m_givesRate = first->second != pcr;
}
