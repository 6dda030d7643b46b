// When the writer counts as gone. A departing writer shows up as empty blocks,
// one per read in flight; but when every read had already finished with data
// as it left, none is in flight and no empty block comes at all. So the writer
// is gone after an empty block and then GONE_QUIET_SECONDS without data, or,
// failing that, after GONE_IDLE_SECONDS without data once data had arrived.
// Data in either time (the same or a new writer) cancels the verdict.
#pragma once
#include <cstdint>

class GoneDetector {
public:
    static constexpr double GONE_QUIET_SECONDS = 1.0;
    static constexpr double GONE_IDLE_SECONDS = 3.0;

    void OnBlock(uint32_t size, double nowSeconds);
    bool IsGone(double nowSeconds) const;
    bool SawData() const { return m_sawData; }

private:
    bool    m_sawEmpty = false;         // since the last data
    bool    m_sawData = false;          // ever
    double  m_lastEmptySeconds = 0.0;
    double  m_lastDataSeconds = 0.0;
};
