// When the host stops draining: a byte count, a time, the writer's departure,
// whichever comes first.
#pragma once
#include <cstdint>

#include "gone_detector.h"

enum class StopReason { NONE, BYTES, TIME, WRITER_GONE, NOTHING_ARRIVED, INTERRUPTED };

const char* StopReasonText(StopReason reason);

struct StopLimits {
    uint64_t    bytes = 0;          // 0: none
    double      seconds = 0.0;      // 0: none
    bool        untilGone = false;
    double      waitSeconds = 0.0;  // with untilGone: no data by then ends the run; 0: none
};

class StopRule {
public:
    explicit StopRule(const StopLimits& limits) : m_limits(limits) {}

    void       OnBlock(uint32_t size, double nowSeconds) { m_gone.OnBlock(size, nowSeconds); }
    // How many of `size` bytes to keep when `received` bytes came before them.
    uint32_t   BytesToKeep(uint64_t received, uint32_t size) const;
    StopReason Check(uint64_t received, double nowSeconds, bool interrupted) const;

private:
    StopLimits      m_limits;
    GoneDetector    m_gone;
};
