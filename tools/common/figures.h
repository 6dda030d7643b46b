// Figures shared by the progress and summary lines of both tools.
#pragma once
#include <cstdint>

constexpr double BYTES_PER_MB = 1e6;
constexpr double BYTES_PER_MIB = 1024.0 * 1024.0;

// Megabytes (10^6) per second; 0 before any time has passed.
inline double MegabytesPerSecond(uint64_t bytes, double seconds)
{
    return seconds > 0.0 ? static_cast<double>(bytes) / BYTES_PER_MB / seconds : 0.0;
}
