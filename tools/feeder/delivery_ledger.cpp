#include "delivery_ledger.h"

#include <algorithm>

namespace {

// The driver asks for this much buffer on each side of its pipe.
const uint64_t PIPE_BUFFER_BYTES = 48128;

} // namespace

uint64_t DeliveryLedger::VisitInDoubt() const
{
    return std::min(m_visitAccepted, PIPE_BUFFER_BYTES);
}

void DeliveryLedger::VisitEnded()
{
    const uint64_t doubt = VisitInDoubt();
    m_delivered += m_visitAccepted - doubt;
    m_inDoubt += doubt;
    m_visitAccepted = 0;
}

uint64_t DeliveryLedger::Delivered() const
{
    return m_delivered + m_visitAccepted - VisitInDoubt();
}
