// FNV-1a 64 over a byte stream, fed in pieces; the host and the writer print the
// same digest line so that a script can compare what was sent with what arrived.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

class StreamDigest {
public:
    void     Update(const uint8_t* data, size_t size);
    uint64_t Value() const { return m_hash; }
    uint64_t Bytes() const { return m_bytes; }

private:
    static constexpr uint64_t OFFSET_BASIS = 0xCBF29CE484222325ull;
    uint64_t    m_hash  = OFFSET_BASIS;
    uint64_t    m_bytes = 0;
};

// "digest fnv1a64=<16 hex digits> bytes=<decimal>"
std::string FormatDigestLine(const StreamDigest& digest);
