#include "delivery_ledger.h"

void DeliveryLedger::VisitEnded()
{
    m_delivered += m_visit.Confirmed();
    m_inDoubt += m_visit.Unconfirmed();
    m_visit = PipeDelivery(INVALID_HANDLE_VALUE);
}
