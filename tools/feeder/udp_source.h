// udp://ADDRESS:PORT[?interface=ADDRESS]: a receiving thread takes datagrams as
// they come into a bounded queue, so the channel worker may pause while the host
// falls behind; what does not fit is dropped in whole packets and counted.
#pragma once
#include <winsock2.h>

#include "source.h"
#include "stream_queue.h"

#include <cstddef>

const size_t UDP_QUEUE_BYTES = 16 * 1024 * 1024;
const DWORD UDP_SILENCE_LIMIT_MS = 10 * 1000;

struct UdpLimits {
    size_t  queueBytes = UDP_QUEUE_BYTES;
    DWORD   silenceLimitMs = UDP_SILENCE_LIMIT_MS;     // no datagram for this long is trouble
};

// Like ParseUdpSource, with other limits (tests use small ones).
std::unique_ptr<SourceConfig> ParseUdpSourceWith(const std::string& text, const UdpLimits& limits,
                                                 std::string* why);
