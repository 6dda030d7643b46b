#include "rtp_payload.h"

namespace {

const size_t RTP_FIXED_HEADER = 12;
const uint8_t RTP_VERSION_2 = 2;
const uint8_t RTP_PAYLOAD_MP2T = 33;
const size_t RTP_CSRC_SIZE = 4;
const size_t RTP_EXTENSION_HEADER = 4;
const size_t RTP_EXTENSION_WORD = 4;

// Where the payload of an RTP datagram starts and ends; false when it is not
// RTP carrying transport packets, or its lengths do not fit the datagram.
bool RtpPayload(const uint8_t* d, size_t size, size_t* begin, size_t* end)
{
    if (size < RTP_FIXED_HEADER || (d[0] >> 6) != RTP_VERSION_2 || (d[1] & 0x7F) != RTP_PAYLOAD_MP2T)
        return false;
    const bool padded = (d[0] & 0x20) != 0;
    const bool extended = (d[0] & 0x10) != 0;
    size_t offset = RTP_FIXED_HEADER + (d[0] & 0x0F) * RTP_CSRC_SIZE;
    if (extended) {
        if (offset + RTP_EXTENSION_HEADER > size)
            return false;
        const size_t words = (static_cast<size_t>(d[offset + 2]) << 8) | d[offset + 3];
        offset += RTP_EXTENSION_HEADER + words * RTP_EXTENSION_WORD;
    }
    size_t last = size;
    if (padded) {
        const size_t padding = d[size - 1];
        if (padding > size)
            return false;
        last = size - padding;
    }
    if (offset > last)
        return false;
    *begin = offset;
    *end = last;
    return true;
}

} // namespace

PacketSpan PacketsOfDatagram(const uint8_t* datagram, size_t size)
{
    size_t begin = 0;
    size_t end = size;
    // A bare datagram starts with a sync byte; an RTP header never does (its
    // first byte holds version 2, 0x80 and up).
    if (size == 0 || (datagram[0] != TS_SYNC_BYTE && !RtpPayload(datagram, size, &begin, &end)))
        return PacketSpan{};
    PacketSpan span;
    if (end - begin < TS_PACKET_BYTES || datagram[begin] != TS_SYNC_BYTE)
        return span;
    span.data = datagram + begin;
    span.size = (end - begin) / TS_PACKET_BYTES * TS_PACKET_BYTES;
    return span;
}
