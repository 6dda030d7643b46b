// Datagrams off the network, RTP or bare. Whatever their bytes, the packets found
// lie inside the datagram, are whole and start at a sync byte. And a datagram
// built from whole packets, bare or behind an RTP header with the input's CSRCs,
// extension, padding and a trailing piece, gives back exactly those packets.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz_check.h"
#include "fuzz_input.h"
#include "rtp_payload.h"
#include "ts_packet.h"

namespace {

const size_t  RTP_FIXED_HEADER = 12;
const uint8_t RTP_VERSION_2 = 0x80;
const uint8_t RTP_PADDED = 0x20;
const uint8_t RTP_EXTENDED = 0x10;
const uint8_t RTP_MARKER = 0x80;
const uint8_t RTP_PAYLOAD_MP2T = 33;
const size_t  RTP_WORD = 4;
const size_t  MOST_PACKETS = 7;         // as senders put them in one datagram
const size_t  MOST_EXTENSION_WORDS = 3;

void CheckAnyDatagram(const uint8_t* data, size_t size)
{
    const PacketSpan span = PacketsOfDatagram(data, size);
    if (span.size == 0)
        return;
    FUZZ_CHECK(span.data >= data && span.data + span.size <= data + size);
    FUZZ_CHECK(span.size % TS_PACKET_BYTES == 0);
    FUZZ_CHECK(TsHasSync(span.data));
    for (size_t at = 0; at < span.size; at += TS_PACKET_BYTES) {
        uint64_t pcr = 0;
        TsReadPcr(span.data + at, &pcr);    // the sanitizers see that reading a packet stays inside it
        (void)TsPid(span.data + at);
    }
}

// The RTP header the input chooses, CSRCs and extension included; empty for a bare datagram.
std::vector<uint8_t> RtpHeader(FuzzInput& in, uint8_t padding)
{
    const uint8_t flags = in.Byte();
    if ((flags & 1) == 0)
        return {};
    const uint8_t csrcs = (flags >> 1) & 0x0F;
    const bool extended = (flags & 0x40) != 0;
    std::vector<uint8_t> header(RTP_FIXED_HEADER + csrcs * RTP_WORD, in.Byte());
    header[0] = RTP_VERSION_2 | (padding > 0 ? RTP_PADDED : 0) | (extended ? RTP_EXTENDED : 0) | csrcs;
    header[1] = RTP_PAYLOAD_MP2T | (flags & RTP_MARKER);
    if (extended) {
        const size_t words = in.Byte() % (MOST_EXTENSION_WORDS + 1);
        const uint8_t extension[RTP_WORD] = {in.Byte(), in.Byte(), 0, static_cast<uint8_t>(words)};
        header.insert(header.end(), extension, extension + RTP_WORD);
        header.resize(header.size() + words * RTP_WORD, in.Byte());
    }
    return header;
}

void CheckBuiltDatagram(FuzzInput& in)
{
    const size_t packets = 1 + in.Byte() % MOST_PACKETS;
    const size_t piece = in.Byte() % TS_PACKET_BYTES;
    const uint8_t padding = in.Byte();
    std::vector<uint8_t> datagram = RtpHeader(in, padding);
    const bool rtp = !datagram.empty();
    const size_t payloadAt = datagram.size();
    for (size_t i = 0; i < packets * TS_PACKET_BYTES + piece; ++i)
        datagram.push_back(i % TS_PACKET_BYTES == 0 ? TS_SYNC_BYTE : in.Byte());
    if (rtp && padding > 0) {
        datagram.resize(datagram.size() + padding - 1, in.Byte());
        datagram.push_back(padding);   // the last byte counts the padding, itself included
    }
    const PacketSpan span = PacketsOfDatagram(datagram.data(), datagram.size());
    FUZZ_CHECK(span.data == datagram.data() + payloadAt);
    FUZZ_CHECK(span.size == packets * TS_PACKET_BYTES);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CheckAnyDatagram(data, size);
    FuzzInput in = {data, size};
    CheckBuiltDatagram(in);
    return 0;
}
