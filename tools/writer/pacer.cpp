#include "pacer.h"

namespace {

const double BITS_PER_BYTE = 8.0;
const double MS_PER_SECOND = 1000.0;

} // namespace

uint32_t Pacer::DelayMs(uint64_t bytesSent, double elapsedSeconds) const
{
    if (m_bitsPerSecond == 0)
        return 0;
    const double due = static_cast<double>(bytesSent) * BITS_PER_BYTE / static_cast<double>(m_bitsPerSecond);
    const double ahead = due - elapsedSeconds;
    return ahead > 0.0 ? static_cast<uint32_t>(ahead * MS_PER_SECOND) : 0;
}
