// udp://ADDRESS:PORT[?interface=ADDRESS][&timeout=S]: a receiving thread takes datagrams as
// they come into a bounded queue, so the channel worker may pause while the host
// falls behind; what does not fit is dropped in whole packets and counted.
#pragma once
#include <winsock2.h>

#include "silence_limit.h"
#include "source.h"
#include "stream_queue.h"

#include <cstddef>

const size_t UDP_QUEUE_BYTES = 16 * 1024 * 1024;

struct UdpLimits {
    size_t  queueBytes = UDP_QUEUE_BYTES;
    DWORD   silenceLimitMs = SILENCE_LIMIT_DEFAULT_MS; // no datagram for this long is trouble; ?timeout= sets it
};

// Like ParseUdpSource, with other limits (tests use small ones).
std::unique_ptr<SourceConfig> ParseUdpSourceWith(const std::string& text, const UdpLimits& limits,
                                                 std::string* why);
