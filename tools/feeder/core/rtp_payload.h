// The transport packets inside a datagram: bare, or behind an RTP header
// (version 2, payload type 33) that receivers often put in front.
#pragma once
#include <cstddef>
#include <cstdint>

#include "ts_packet.h"

struct PacketSpan {
    const uint8_t*  data = nullptr;
    size_t          size = 0;       // a multiple of TS_PACKET_BYTES; 0 when the datagram carries none
};

// The whole packets of a datagram; a trailing piece shorter than a packet is left out.
PacketSpan PacketsOfDatagram(const uint8_t* datagram, size_t size);
