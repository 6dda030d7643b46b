// Datagrams off the network, RTP or bare: whatever their bytes, the packets found
// lie inside the datagram, are whole and start at a sync byte, and reading their
// fields stays inside them.
#include <cstddef>
#include <cstdint>

#include "fuzz_check.h"
#include "rtp_payload.h"
#include "ts_packet.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const PacketSpan span = PacketsOfDatagram(data, size);
    if (span.size == 0)
        return 0;
    FUZZ_CHECK(span.data >= data && span.data + span.size <= data + size);
    FUZZ_CHECK(span.size % TS_PACKET_BYTES == 0);
    for (size_t at = 0; at < span.size; at += TS_PACKET_BYTES) {
        const uint8_t* packet = span.data + at;
        FUZZ_CHECK(at > 0 || TsHasSync(packet));
        uint64_t pcr = 0;
        if (TsReadPcr(packet, &pcr))
            FUZZ_CHECK(pcr < (1ull << 33) * 300 + 512);
        FUZZ_CHECK(TsPid(packet) < TS_PID_COUNT);
    }
    return 0;
}
