// Keeps a writer at a bit rate: byte B is due B * 8 / rate seconds after the start.
#pragma once
#include <cstdint>

class Pacer {
public:
    explicit Pacer(uint64_t bitsPerSecond) : m_bitsPerSecond(bitsPerSecond) {}

    // Milliseconds to wait before sending more, having sent `bytesSent` in `elapsedSeconds`.
    // Always 0 without a rate.
    uint32_t DelayMs(uint64_t bytesSent, double elapsedSeconds) const;

private:
    uint64_t    m_bitsPerSecond;    // 0: as fast as possible
};
