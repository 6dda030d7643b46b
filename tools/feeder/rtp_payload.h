// The transport packets inside a datagram: bare, or behind an RTP header
// (version 2, payload type 33) that receivers often put in front.
#pragma once
#include <cstddef>
#include <cstdint>

const size_t TS_PACKET_SIZE = 188;
const uint8_t TS_SYNC_BYTE = 0x47;

struct PacketSpan {
    const uint8_t*  data = nullptr;
    size_t          size = 0;       // a multiple of TS_PACKET_SIZE; 0 when the datagram carries none
};

// The whole packets of a datagram; a trailing piece shorter than a packet is left out.
PacketSpan PacketsOfDatagram(const uint8_t* datagram, size_t size);
