#include "continuity_carry.h"

namespace {

const uint8_t COUNTER_MASK = 0x0F;

} // namespace

ContinuityCarry::ContinuityCarry()
    : m_lastSent(TS_PID_COUNT, 0), m_offset(TS_PID_COUNT, 0),
      m_seen(TS_PID_COUNT, false), m_awaiting(TS_PID_COUNT, false), m_markPcr(TS_PID_COUNT, false)
{
}

void ContinuityCarry::Restart()
{
    for (size_t pid = 0; pid < TS_PID_COUNT; ++pid)
        m_awaiting[pid] = m_seen[pid];
    // Each program's clock starts anew, so every PCR PID marks its own first PCR.
    m_markPcr.assign(TS_PID_COUNT, true);
}

void ContinuityCarry::Apply(uint8_t* packets, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        ApplyOne(packets + i * TS_PACKET_BYTES);
}

void ContinuityCarry::ApplyOne(uint8_t* p)
{
    if (!TsHasSync(p))
        return;
    const uint16_t pid = TsPid(p);
    if (pid == TS_NULL_PID)
        return;     // null packets carry no meaningful counter
    const uint8_t original = TsContinuity(p);
    if (m_awaiting[pid]) {
        // A packet without payload repeats the last counter; one with payload goes on by one.
        const uint8_t wanted = static_cast<uint8_t>(m_lastSent[pid] + (TsHasPayload(p) ? 1 : 0));
        m_offset[pid] = static_cast<uint8_t>((wanted - original) & COUNTER_MASK);
        m_awaiting[pid] = false;
    }
    const uint8_t sent = static_cast<uint8_t>((original + m_offset[pid]) & COUNTER_MASK);
    TsSetContinuity(p, sent);
    m_lastSent[pid] = sent;
    m_seen[pid] = true;
    uint64_t pcr = 0;
    if (m_markPcr[pid] && TsReadPcr(p, &pcr)) {
        TsSetDiscontinuity(p);
        m_markPcr[pid] = false;
    }
}
