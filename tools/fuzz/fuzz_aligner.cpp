// Any bytes, in any pieces, with reconnects: only whole packets leave the aligner,
// each starting with sync and each a run of 188 bytes of the input in the input's
// order, and every byte is passed on, held or counted as skipped.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz_check.h"
#include "ts_aligner.h"

namespace {

const uint8_t RESET_MARK = 0xFF;    // a piece length byte of this value is a reconnect
const uint8_t RELEASE_MARK = 0xFE;  // and this one a quiet source

bool SpansAReconnect(const std::vector<size_t>& resets, size_t at)
{
    for (size_t reset : resets)
        if (at < reset && reset < at + TS_PACKET_BYTES)
            return true;
    return false;
}

// Each packet of `out` stands in `input` after the one before, within one connection.
void CheckInOrder(const std::vector<uint8_t>& input, const std::vector<size_t>& resets, const std::vector<uint8_t>& out)
{
    size_t searchFrom = 0;
    for (size_t p = 0; p < out.size(); p += TS_PACKET_BYTES) {
        FUZZ_CHECK(out[p] == TS_SYNC_BYTE);
        size_t at = searchFrom;
        while (at + TS_PACKET_BYTES <= input.size()
               && (std::memcmp(&input[at], &out[p], TS_PACKET_BYTES) != 0 || SpansAReconnect(resets, at)))
            ++at;
        FUZZ_CHECK(at + TS_PACKET_BYTES <= input.size());
        searchFrom = at + TS_PACKET_BYTES;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TsAligner aligner;
    std::vector<uint8_t> input;
    std::vector<uint8_t> out;
    std::vector<size_t> resets;     // input sizes at each reconnect
    size_t at = 0;
    while (at < size) {
        const uint8_t piece = data[at++];
        if (piece == RESET_MARK) {
            aligner.Reset();
            resets.push_back(input.size());
            continue;
        }
        if (piece == RELEASE_MARK) {
            aligner.Release(&out);
            continue;
        }
        const size_t length = size - at < piece ? size - at : piece;
        aligner.Push(data + at, length, &out);
        input.insert(input.end(), data + at, data + at + length);
        at += length;
        FUZZ_CHECK(out.size() % TS_PACKET_BYTES == 0);
        FUZZ_CHECK(out.size() + aligner.SkippedBytes() + aligner.HeldBytes() == input.size());
    }
    aligner.Flush(&out);
    FUZZ_CHECK(out.size() % TS_PACKET_BYTES == 0);
    FUZZ_CHECK(out.size() + aligner.SkippedBytes() == input.size());
    CheckInOrder(input, resets, out);
    return 0;
}
