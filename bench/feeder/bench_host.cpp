#include "feeder_bench.h"

#include <algorithm>
#include <cstdio>

#include "stats.h"

namespace {

const DWORD WAIT_STREAM_MS = 10;

} // namespace

double SecondsNow()
{
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void PrintSpread(const char* what, std::vector<double> values, const char* unit, double scale)
{
    if (values.empty()) {
        std::printf("  %-44s no samples\n", what);
        return;
    }
    const Spread s = SpreadOf(values);
    std::printf("  %-44s median %7.1f  p95 %7.1f  min %7.1f  max %7.1f %s  (%zu samples)\n", what, s.median * scale,
                Percentile(values, 0.95) * scale, s.min * scale, s.max * scale, unit, s.count);
}

bool BenchHost::Load()
{
    if (!m_module.Load())
        return false;
    m_pTuner = m_module.Create();
    return m_pTuner != nullptr && m_pTuner->OpenTuner();
}

double BenchHost::SelectAndTimeFirstBlock(uint32_t channel, double limitSeconds,
                                          const std::function<void(const uint8_t*, DWORD)>& take)
{
    const double start = SecondsNow();
    const bool selected = m_pTuner->SelectChannel(0, channel);
    m_selectCall = SecondsNow() - start;
    if (!selected)
        return -1.0;
    while (SecondsNow() - start < limitSeconds) {
        m_pTuner->WaitStream(WAIT_STREAM_MS);
        BYTE* data = nullptr;
        DWORD size = 0, remaining = 0;
        while (m_pTuner->QueryReadyCount() > 0 && m_pTuner->TakeStream(&data, &size, &remaining))
            if (size > 0) {
                const double seconds = SecondsNow() - start;
                if (take)
                    take(data, size);
                return seconds;
            }
    }
    return -1.0;
}

void BenchHost::Drain(double seconds, const std::function<void(const uint8_t*, DWORD)>& take)
{
    const double end = SecondsNow() + seconds;
    while (SecondsNow() < end) {
        m_pTuner->WaitStream(WAIT_STREAM_MS);
        BYTE* data = nullptr;
        DWORD size = 0, remaining = 0;
        while (m_pTuner->QueryReadyCount() > 0 && m_pTuner->TakeStream(&data, &size, &remaining))
            if (size > 0)
                take(data, size);
    }
}

void BenchHost::Leave()
{
    m_pTuner->CloseTuner();
    m_pTuner->OpenTuner();
}
