// A reproducible byte stream: writer and reader make the same bytes from one seed.
#pragma once
#include <cstdint>
#include <cstddef>

class Pattern {
public:
    explicit Pattern(uint64_t seed) : m_state(seed * 0x9E3779B97F4A7C15ull + 1) {}
    void Fill(unsigned char* out, size_t count)
    {
        for (size_t i = 0; i < count; ++i)
            out[i] = NextByte();
    }
    // Returns the offset of the first byte that differs, or count when all match.
    size_t Match(const unsigned char* data, size_t count)
    {
        for (size_t i = 0; i < count; ++i)
            if (data[i] != NextByte())
                return i;
        return count;
    }

private:
    unsigned char NextByte()
    {
        if (m_left == 0) {
            m_state ^= m_state << 13;
            m_state ^= m_state >> 7;
            m_state ^= m_state << 17;
            m_word = m_state;
            m_left = 8;
        }
        --m_left;
        unsigned char byte = static_cast<unsigned char>(m_word);
        m_word >>= 8;
        return byte;
    }
    uint64_t m_state;
    uint64_t m_word = 0;
    int m_left = 0;
};
