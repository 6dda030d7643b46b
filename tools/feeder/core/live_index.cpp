#include "live_index.h"

#include <algorithm>
#include <cmath>

#include "ts_packet.h"

namespace {

const uint64_t MARK_SPACING_TICKS = static_cast<uint64_t>(LIVE_MARK_SPACING_SECONDS * PCR_TICKS_PER_SECOND);
// A PCR further ahead than this is a new clock, as the pacer takes it.
const uint64_t PCR_JUMP_TICKS = PCR_TICKS_PER_SECOND;

} // namespace

LiveMark LiveIndex::EntryAt(double seconds) const
{
    const double since = seconds > 0.0 && std::isfinite(seconds) ? seconds : 0.0;   // no time before the start
    const double inLoop = std::fmod(since, LoopSeconds());
    const uint64_t ticks = static_cast<uint64_t>(inLoop * PCR_TICKS_PER_SECOND);
    const auto after = std::upper_bound(m_marks.begin(), m_marks.end(), ticks,
                                        [](uint64_t t, const LiveMark& mark) { return t < mark.ticks; });
    return *(after - 1);    // the first mark is at tick 0, so one is always at or before
}

double LiveIndex::LoopSeconds() const
{
    return static_cast<double>(m_loopTicks) / PCR_TICKS_PER_SECOND;
}

void LiveIndexBuilder::Add(const uint8_t* packet, uint64_t offset)
{
    uint64_t pcr = 0;
    const PcrTurn turn = m_follower.Peek(packet, &pcr);
    if (turn == PcrTurn::TAKES_OVER) {
        // The new PID's PCRs in the silence before it took the lead place its first part.
        const std::vector<PcrSighting>& run = m_follower.Run(packet);
        AddPcr(run.front().pcr, run.front().position);
        StartClock();   // the pacer measures the new PID's rate from its first PCR
        for (size_t i = 1; i < run.size(); ++i)
            AddPcr(run[i].pcr, run[i].position);
    }
    m_follower.Add(packet, offset);
    if (turn == PcrTurn::NONE || turn == PcrTurn::CHALLENGES)
        return;     // another PID's PCRs count only once it takes the lead
    if (!m_following) {
        m_following = true;
        m_firstOffset = offset;
        m_marks.push_back(LiveMark{offset, 0});
        m_lastPcr = pcr;
        m_lastOffset = offset;
        return;
    }
    AddPcr(pcr, offset);
}

void LiveIndexBuilder::AddPcr(uint64_t pcr, uint64_t offset)
{
    const uint64_t bytes = offset - m_lastOffset;
    if (pcr >= m_lastPcr && pcr - m_lastPcr <= PCR_JUMP_TICKS) {
        m_ticks += pcr - m_lastPcr;
        m_steadyTicks += pcr - m_lastPcr;
        m_runBytes += bytes;
        m_runTicks += pcr - m_lastPcr;
        if (m_runTicks > 0) {
            m_rateBytes = m_runBytes;
            m_rateTicks = m_runTicks;
        }
    } else {
        m_ticks += TicksForBytes(bytes);
        StartClock();
    }
    if (m_ticks >= m_marks.back().ticks + MARK_SPACING_TICKS)
        m_marks.push_back(LiveMark{offset, m_ticks});
    m_lastPcr = pcr;
    m_lastOffset = offset;
}

// The rate stays the one measured last until the new clock has advanced.
void LiveIndexBuilder::StartClock()
{
    m_runBytes = 0;
    m_runTicks = 0;
}

uint64_t LiveIndexBuilder::TicksForBytes(uint64_t bytes) const
{
    if (m_rateBytes == 0)
        return 0;
    return static_cast<uint64_t>(static_cast<double>(bytes) * m_rateTicks / m_rateBytes);
}

bool LiveIndexBuilder::Finish(const std::string& path, uint64_t start, uint64_t usable, LiveIndex* out,
                              std::string* why) const
{
    const std::string cannot = "cannot play " + path + " live: ";
    if (!m_following) {
        *why = cannot + "it holds no PCR to tell where a live channel would be (play it without live)";
        return false;
    }
    if (m_steadyTicks == 0) {
        *why = cannot + "its PCRs never advance, so they give no time to place a visit by (play it without live)";
        return false;
    }
    // The seam: from the last PCR round to the first, at the rate the pacer will have measured.
    const uint64_t seamBytes = usable - m_lastOffset + m_firstOffset;
    out->m_marks = m_marks;
    out->m_loopTicks = m_ticks + std::max<uint64_t>(TicksForBytes(seamBytes), 1);
    out->m_start = start;
    out->m_usable = usable;
    return true;
}
