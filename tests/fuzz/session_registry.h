// Every writer session of a fuzz run: the channel it wrote to and how far it
// may have got. A writer reserves bytes before it writes them, so a block the
// host takes never lies past what its session reserved.
#pragma once
#include <windows.h>
#include <atomic>
#include <cstdint>
#include <memory>

class SessionRegistry {
public:
    explicit SessionRegistry(uint32_t capacity);
    ~SessionRegistry();
    SessionRegistry(const SessionRegistry&) = delete;
    SessionRegistry& operator=(const SessionRegistry&) = delete;

    // A new session on `channel`, numbered from 1; 0 when the registry is full.
    uint32_t Open(DWORD channel);
    void Reserve(uint32_t session, uint64_t end) { m_entries[session].reserved.store(end, std::memory_order_release); }
    uint32_t Count() const { return m_count.load(std::memory_order_acquire); }
    DWORD Channel(uint32_t session) const { return m_entries[session].channel; }
    uint64_t Reserved(uint32_t session) const { return m_entries[session].reserved.load(std::memory_order_acquire); }

private:
    struct Entry {
        DWORD channel = 0;
        std::atomic<uint64_t> reserved{0};
    };
    std::unique_ptr<Entry[]> m_entries;
    uint32_t m_capacity;
    std::atomic<uint32_t> m_count{0};
    CRITICAL_SECTION m_lock;
};
