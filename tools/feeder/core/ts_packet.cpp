#include "ts_packet.h"

namespace {

const uint8_t ADAPTATION_PRESENT = 0x20;
const uint8_t PCR_FLAG = 0x10;
const uint8_t DISCONTINUITY_FLAG = 0x80;
const size_t  ADAPTATION_LENGTH_AT = 4;
const size_t  ADAPTATION_FLAGS_AT = 5;
const size_t  PCR_AT = 6;
const size_t  PCR_FIELD_BYTES = 7;         // flags byte and six PCR bytes
const uint64_t PCR_BASE_MULTIPLIER = 300;  // the 33-bit base counts 90 kHz, the extension 27 MHz

bool HasAdaptationFlags(const uint8_t* p)
{
    return TsHasSync(p) && (p[3] & ADAPTATION_PRESENT) != 0 && p[ADAPTATION_LENGTH_AT] > 0;
}

} // namespace

bool TsReadPcr(const uint8_t* p, uint64_t* pcr)
{
    if (!HasAdaptationFlags(p) || p[ADAPTATION_LENGTH_AT] < PCR_FIELD_BYTES
        || (p[ADAPTATION_FLAGS_AT] & PCR_FLAG) == 0)
        return false;
    const uint8_t* f = p + PCR_AT;
    const uint64_t base = (static_cast<uint64_t>(f[0]) << 25) | (static_cast<uint64_t>(f[1]) << 17)
                        | (static_cast<uint64_t>(f[2]) << 9) | (static_cast<uint64_t>(f[3]) << 1)
                        | (f[4] >> 7);
    const uint64_t extension = (static_cast<uint64_t>(f[4] & 0x01) << 8) | f[5];
    *pcr = base * PCR_BASE_MULTIPLIER + extension;
    return true;
}

bool TsSetDiscontinuity(uint8_t* p)
{
    if (!HasAdaptationFlags(p))
        return false;
    p[ADAPTATION_FLAGS_AT] |= DISCONTINUITY_FLAG;
    return true;
}
