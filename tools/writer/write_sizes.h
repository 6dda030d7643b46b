// The size of each write: fixed, or drawn evenly from [min, max] by the seed.
#pragma once
#include <cstdint>

#include "prng.h"

class WriteSizes {
public:
    static WriteSizes Fixed(uint32_t size) { return WriteSizes(size, size, 0); }
    static WriteSizes Random(uint32_t minimum, uint32_t maximum, uint64_t seed)
    {
        return WriteSizes(minimum, maximum, seed);
    }

    uint32_t Next();
    uint32_t Largest() const { return m_maximum; }

private:
    WriteSizes(uint32_t minimum, uint32_t maximum, uint64_t seed)
        : m_minimum(minimum), m_maximum(maximum), m_random(seed) {}

    uint32_t    m_minimum;
    uint32_t    m_maximum;
    SplitMix64  m_random;
};
