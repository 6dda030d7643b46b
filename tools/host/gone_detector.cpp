#include "gone_detector.h"

void GoneDetector::OnBlock(uint32_t size, double nowSeconds)
{
    if (size == 0) {
        m_sawEmpty = true;
        m_lastEmptySeconds = nowSeconds;
    } else {
        m_sawEmpty = false;
        m_sawData = true;
        m_lastDataSeconds = nowSeconds;
    }
}

bool GoneDetector::IsGone(double nowSeconds) const
{
    if (m_sawEmpty && nowSeconds - m_lastEmptySeconds >= GONE_QUIET_SECONDS)
        return true;
    return m_sawData && nowSeconds - m_lastDataSeconds >= GONE_IDLE_SECONDS;
}
