// SplitMix64: small, fast and the same on every build, so a seed names one stream.
#pragma once
#include <cstdint>

class SplitMix64 {
public:
    explicit SplitMix64(uint64_t seed) : m_state(seed) {}

    uint64_t Next()
    {
        uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

private:
    uint64_t    m_state;
};
