#include "pcr_follower.h"

#include "ts_packet.h"

namespace {

const uint64_t HANDOVER_TICKS = static_cast<uint64_t>(PCR_HANDOVER_SECONDS * PCR_TICKS_PER_SECOND);
// A challenger's PCR further from its last than this starts its run again: it is no steady clock.
const uint64_t STEADY_STEP_TICKS = PCR_TICKS_PER_SECOND;
// A challenger's PCRs kept at most this often, so a PID with a PCR in every packet stays small.
const uint64_t KEEP_SPACING_TICKS = PCR_TICKS_PER_SECOND / 100;

bool Steady(uint64_t last, uint64_t pcr)
{
    return pcr >= last && pcr - last <= STEADY_STEP_TICKS;
}

const std::vector<PcrSighting> NO_RUN;

} // namespace

PcrTurn PcrFollower::Peek(const uint8_t* packet, uint64_t* pcr) const
{
    if (!TsReadPcr(packet, pcr))
        return PcrTurn::NONE;
    if (m_pid < 0 || TsPid(packet) == m_pid)
        return PcrTurn::LEADS;
    const PcrSighting start = RunStart(packet, *pcr, 0);
    return *pcr - start.pcr >= HANDOVER_TICKS ? PcrTurn::TAKES_OVER : PcrTurn::CHALLENGES;
}

PcrSighting PcrFollower::RunStart(const uint8_t* packet, uint64_t pcr, uint64_t position) const
{
    const auto challenger = m_challengers.find(TsPid(packet));
    if (challenger == m_challengers.end() || !Steady(challenger->second.lastPcr, pcr))
        return PcrSighting{position, pcr};
    return challenger->second.kept.front();
}

const std::vector<PcrSighting>& PcrFollower::Run(const uint8_t* packet) const
{
    const auto challenger = m_challengers.find(TsPid(packet));
    return challenger == m_challengers.end() ? NO_RUN : challenger->second.kept;
}

PcrTurn PcrFollower::Add(const uint8_t* packet, uint64_t position)
{
    uint64_t pcr = 0;
    const PcrTurn turn = Peek(packet, &pcr);
    if (turn == PcrTurn::NONE)
        return turn;
    if (turn == PcrTurn::CHALLENGES) {
        Watch(TsPid(packet), pcr, position);
        return turn;
    }
    m_pid = TsPid(packet);
    m_last = PcrSighting{position, pcr};
    m_challengers.clear();
    return turn;
}

void PcrFollower::Watch(uint16_t pid, uint64_t pcr, uint64_t position)
{
    Challenger& challenger = m_challengers[pid];
    if (challenger.kept.empty() || !Steady(challenger.lastPcr, pcr))
        challenger.kept.assign(1, PcrSighting{position, pcr});
    else if (pcr - challenger.kept.back().pcr >= KEEP_SPACING_TICKS)
        challenger.kept.push_back(PcrSighting{position, pcr});
    challenger.lastPcr = pcr;
}
