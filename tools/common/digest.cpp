#include "digest.h"

#include <cinttypes>
#include <cstdio>

namespace {

const uint64_t FNV_PRIME = 0x100000001B3ull;
const size_t DIGEST_LINE_CAPACITY = 96;

} // namespace

void StreamDigest::Update(const uint8_t* data, size_t size)
{
    uint64_t hash = m_hash;
    for (size_t i = 0; i < size; ++i) {
        hash ^= data[i];
        hash *= FNV_PRIME;
    }
    m_hash = hash;
    m_bytes += size;
}

std::string FormatDigestLine(const StreamDigest& digest)
{
    char line[DIGEST_LINE_CAPACITY];
    std::snprintf(line, sizeof line, "digest fnv1a64=%016" PRIx64 " bytes=%" PRIu64,
                  digest.Value(), digest.Bytes());
    return line;
}
