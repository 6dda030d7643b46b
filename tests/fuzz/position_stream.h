// Writer streams whose every byte says where it stands: byte p of session s is
// byte p % 8 of an invertible mix of (s, p / 8). Any 8 aligned bytes therefore
// name their session and position, so a block can be placed without knowing
// where it came from, and checked byte for byte.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr unsigned WORD_BYTES = 8;
constexpr unsigned POSITION_BITS = 40;      // words per session: far beyond any run
constexpr uint32_t MOST_SESSIONS = 1u << 24;

struct StreamPlace {
    uint32_t session;
    uint64_t position;
};

uint64_t MixWord(uint64_t plain);
uint64_t UnmixWord(uint64_t mixed);

// The bytes of `session` at [position, position + count).
void FillStream(uint32_t session, uint64_t position, unsigned char* out, size_t count);
// How many leading bytes of `data` equal the stream from `position`.
size_t MatchStream(uint32_t session, uint64_t position, const unsigned char* data, size_t count);
// Reads the word that starts at `offset` in `data` and says where data[0] would
// stand if that word is genuine; false when it cannot be (offset past the block,
// or a position before the stream's start).
bool PlaceByWordAt(const unsigned char* data, size_t count, unsigned offset, StreamPlace& place);
