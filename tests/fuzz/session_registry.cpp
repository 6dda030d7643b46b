#include "session_registry.h"

SessionRegistry::SessionRegistry(uint32_t capacity) : m_entries(new Entry[capacity]), m_capacity(capacity)
{
    InitializeCriticalSection(&m_lock);
}

SessionRegistry::~SessionRegistry()
{
    DeleteCriticalSection(&m_lock);
}

// The channel is written before the count that makes the session visible.
uint32_t SessionRegistry::Open(DWORD channel)
{
    EnterCriticalSection(&m_lock);
    const uint32_t session = m_count.load(std::memory_order_relaxed) + 1;
    if (session < m_capacity) {
        m_entries[session].channel = channel;
        m_count.store(session, std::memory_order_release);
    }
    LeaveCriticalSection(&m_lock);
    return session < m_capacity ? session : 0;
}
