// The sizes a writer cuts its stream into: one fixed size, or uniform in a range.
#pragma once
#include <windows.h>
#include <cstdint>

class WriteSizes {
public:
    static WriteSizes Fixed(DWORD bytes) { return WriteSizes(bytes, bytes, 0); }
    static WriteSizes Uniform(DWORD min, DWORD max, uint64_t seed) { return WriteSizes(min, max, seed); }

    DWORD Largest() const { return m_max; }
    DWORD Next()
    {
        if (m_min == m_max)
            return m_min;
        // xorshift64: cheap, and the same sizes on every run of one seed.
        m_state ^= m_state << 13;
        m_state ^= m_state >> 7;
        m_state ^= m_state << 17;
        return m_min + static_cast<DWORD>(m_state % (m_max - m_min + 1));
    }

private:
    WriteSizes(DWORD min, DWORD max, uint64_t seed) : m_min(min), m_max(max), m_state(seed | 1) {}
    DWORD       m_min;
    DWORD       m_max;
    uint64_t    m_state;
};
