#include "position_stream.h"
#include <cstring>

namespace {

constexpr uint64_t MULTIPLIER_1 = 0xBF58476D1CE4E5B9ull;
constexpr uint64_t MULTIPLIER_2 = 0x94D049BB133111EBull;
constexpr unsigned SHIFT_1 = 30;
constexpr unsigned SHIFT_2 = 27;
constexpr unsigned SHIFT_3 = 31;
constexpr uint64_t POSITION_MASK = (1ull << POSITION_BITS) - 1;

uint64_t UndoShiftXor(uint64_t y, unsigned shift)
{
    uint64_t x = y;
    for (unsigned done = shift; done < 64; done += shift)
        x = y ^ (x >> shift);
    return x;
}

// Inverse of an odd number modulo 2^64, by Newton's iteration.
uint64_t InverseOf(uint64_t odd)
{
    uint64_t inverse = odd;
    for (int i = 0; i < 6; ++i)
        inverse *= 2 - odd * inverse;
    return inverse;
}

uint64_t WordOf(uint32_t session, uint64_t index)
{
    return MixWord((static_cast<uint64_t>(session) << POSITION_BITS) | (index & POSITION_MASK));
}

}  // namespace

uint64_t MixWord(uint64_t x)
{
    x ^= x >> SHIFT_1;
    x *= MULTIPLIER_1;
    x ^= x >> SHIFT_2;
    x *= MULTIPLIER_2;
    x ^= x >> SHIFT_3;
    return x;
}

uint64_t UnmixWord(uint64_t x)
{
    x = UndoShiftXor(x, SHIFT_3);
    x *= InverseOf(MULTIPLIER_2);
    x = UndoShiftXor(x, SHIFT_2);
    x *= InverseOf(MULTIPLIER_1);
    return UndoShiftXor(x, SHIFT_1);
}

void FillStream(uint32_t session, uint64_t position, unsigned char* out, size_t count)
{
    size_t done = 0;
    while (done < count) {
        const uint64_t at = position + done;
        const uint64_t word = WordOf(session, at / WORD_BYTES);
        unsigned char bytes[WORD_BYTES];
        std::memcpy(bytes, &word, WORD_BYTES);
        for (unsigned i = static_cast<unsigned>(at % WORD_BYTES); i < WORD_BYTES && done < count; ++i)
            out[done++] = bytes[i];
    }
}

size_t MatchStream(uint32_t session, uint64_t position, const unsigned char* data, size_t count)
{
    unsigned char expected[WORD_BYTES];
    size_t done = 0;
    while (done < count) {
        const size_t chunk = count - done < WORD_BYTES ? count - done : WORD_BYTES;
        FillStream(session, position + done, expected, chunk);
        for (size_t i = 0; i < chunk; ++i)
            if (data[done + i] != expected[i])
                return done + i;
        done += chunk;
    }
    return count;
}

bool PlaceByWordAt(const unsigned char* data, size_t count, unsigned offset, StreamPlace& place)
{
    if (offset + WORD_BYTES > count)
        return false;
    uint64_t word = 0;
    std::memcpy(&word, data + offset, WORD_BYTES);
    const uint64_t plain = UnmixWord(word);
    const uint64_t wordStart = (plain & POSITION_MASK) * WORD_BYTES;
    if (wordStart < offset)
        return false;
    place.session = static_cast<uint32_t>(plain >> POSITION_BITS);
    place.position = wordStart - offset;
    return true;
}
