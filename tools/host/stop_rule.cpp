#include "stop_rule.h"

const char* StopReasonText(StopReason reason)
{
    switch (reason) {
    case StopReason::BYTES:       return "byte count reached";
    case StopReason::TIME:        return "time limit reached";
    case StopReason::WRITER_GONE: return "writer gone";
    case StopReason::NOTHING_ARRIVED:     return "no data";
    case StopReason::INTERRUPTED: return "interrupted";
    default:                      return "running";
    }
}

uint32_t StopRule::BytesToKeep(uint64_t received, uint32_t size) const
{
    if (m_limits.bytes == 0)
        return size;
    if (received >= m_limits.bytes)
        return 0;
    const uint64_t room = m_limits.bytes - received;
    return room < size ? static_cast<uint32_t>(room) : size;
}

StopReason StopRule::Check(uint64_t received, double nowSeconds, bool interrupted) const
{
    if (m_limits.bytes != 0 && received >= m_limits.bytes)
        return StopReason::BYTES;
    if (interrupted)
        return StopReason::INTERRUPTED;
    if (m_limits.untilGone && m_gone.IsGone(nowSeconds))
        return StopReason::WRITER_GONE;
    if (m_limits.untilGone && m_limits.waitSeconds > 0.0 && !m_gone.SawData() && nowSeconds >= m_limits.waitSeconds)
        return StopReason::NOTHING_ARRIVED;
    if (m_limits.seconds > 0.0 && nowSeconds >= m_limits.seconds)
        return StopReason::TIME;
    return StopReason::NONE;
}
