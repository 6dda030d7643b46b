// What reached the host, counted without guessing in its favour: the bytes the
// pipe accepted last, up to its buffer's size, may still have been in the pipe
// when the host left, so they are counted as in doubt, never as delivered.
#pragma once
#include <cstdint>

class DeliveryLedger {
public:
    void Accepted(uint64_t bytes) { m_visitAccepted += bytes; }
    // The host left, or the feeder stopped while connected.
    void VisitEnded();

    uint64_t Delivered() const;                     // certain, this visit's included
    uint64_t InDoubt() const { return m_inDoubt; }  // over ended visits
    uint64_t VisitAccepted() const { return m_visitAccepted; }
    uint64_t VisitInDoubt() const;                  // what VisitEnded would count as in doubt now

private:
    uint64_t    m_delivered = 0;        // over ended visits
    uint64_t    m_inDoubt = 0;
    uint64_t    m_visitAccepted = 0;
};
