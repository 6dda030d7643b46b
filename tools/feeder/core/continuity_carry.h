// Makes a looped recording look like one unbroken stream: after each restart
// every PID's continuity counters go on from where the last pass left them,
// and each PID's first packet with a PCR is marked discontinuous for the new clock.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "ts_packet.h"

class ContinuityCarry {
public:
    ContinuityCarry();
    // Called when the file starts again from its beginning.
    void Restart();
    // Rewrites whole packets in place, as they are sent.
    void Apply(uint8_t* packets, size_t count);

private:
    void ApplyOne(uint8_t* packet);

    std::vector<uint8_t>    m_lastSent;     // counter last sent per PID
    std::vector<uint8_t>    m_offset;       // added to the file's counter per PID
    std::vector<bool>       m_seen;         // sent at least once
    std::vector<bool>       m_awaiting;     // first packet of this PID since the restart still to come
    std::vector<bool>       m_markPcr;      // this PID's next PCR is the first since the restart
};
