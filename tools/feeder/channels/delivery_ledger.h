// What reached the host, counted without guessing in its favour. Within a visit
// the pipe's own account says what may still be unread after each write; over
// the feeder's run, what was in doubt when a host left stays in doubt.
#pragma once
#include <windows.h>

#include <cstdint>

#include "pipe_delivery.h"

class DeliveryLedger {
public:
    // A host took the channel: its pipe answers for this visit's writes.
    void VisitStarted(HANDLE pipe) { m_visit = PipeDelivery(pipe); }
    void Accepted(uint64_t bytes) { m_visit.OnWritten(bytes); }
    // The host left, or the feeder stopped while connected.
    void VisitEnded();

    uint64_t Delivered() const { return m_delivered + m_visit.Confirmed(); }     // certain, this visit's included
    uint64_t InDoubt() const { return m_inDoubt; }                              // over ended visits
    uint64_t VisitAccepted() const { return m_visit.Accepted(); }
    uint64_t VisitInDoubt() const { return m_visit.Unconfirmed(); }              // what VisitEnded would add

private:
    PipeDelivery    m_visit{INVALID_HANDLE_VALUE};
    uint64_t        m_delivered = 0;        // over ended visits
    uint64_t        m_inDoubt = 0;
};
