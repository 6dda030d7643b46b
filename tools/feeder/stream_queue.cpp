#include "stream_queue.h"

#include <algorithm>
#include <cstring>

namespace {

class ExclusiveLock {
public:
    explicit ExclusiveLock(SRWLOCK* lock) : m_lock(lock) { AcquireSRWLockExclusive(m_lock); }
    ~ExclusiveLock() { ReleaseSRWLockExclusive(m_lock); }
    ExclusiveLock(const ExclusiveLock&) = delete;
    ExclusiveLock& operator=(const ExclusiveLock&) = delete;

private:
    SRWLOCK* m_lock;
};

} // namespace

StreamQueue::StreamQueue(size_t capacity, size_t unit)
    : m_ring(new uint8_t[capacity / unit * unit]), m_unit(unit), m_capacity(capacity / unit * unit)
{
}

void StreamQueue::Put(const uint8_t* data, size_t size)
{
    const size_t tail = (m_head + m_size) % m_capacity;
    const size_t first = std::min(size, m_capacity - tail);
    memcpy(m_ring.get() + tail, data, first);
    memcpy(m_ring.get(), data + first, size - first);
    m_size += size;
}

size_t StreamQueue::Copy(uint8_t* dst, size_t size)
{
    const size_t first = std::min(size, m_capacity - m_head);
    memcpy(dst, m_ring.get() + m_head, first);
    memcpy(dst + first, m_ring.get(), size - first);
    m_head = (m_head + size) % m_capacity;
    m_size -= size;
    return size;
}

size_t StreamQueue::PushOrDrop(const uint8_t* data, size_t size)
{
    const size_t units = size / m_unit;
    size_t taken = 0;
    {
        ExclusiveLock hold(&m_lock);
        if (m_stopped)
            return units;
        taken = std::min(units, (m_capacity - m_size) / m_unit);
        Put(data, taken * m_unit);
    }
    if (taken > 0)
        WakeAllConditionVariable(&m_dataReady);
    return units - taken;
}

bool StreamQueue::PushWaiting(const uint8_t* data, size_t size)
{
    while (size > 0) {
        size_t taken = 0;
        {
            ExclusiveLock hold(&m_lock);
            while (!m_stopped && m_size == m_capacity)
                SleepConditionVariableSRW(&m_roomReady, &m_lock, INFINITE, 0);
            if (m_stopped)
                return false;
            taken = std::min(size, m_capacity - m_size);
            Put(data, taken);
        }
        WakeAllConditionVariable(&m_dataReady);
        data += taken;
        size -= taken;
    }
    return true;
}

size_t StreamQueue::Pop(uint8_t* dst, size_t capacity, DWORD waitMs)
{
    const ULONGLONG deadline = GetTickCount64() + waitMs;
    size_t copied = 0;
    {
        ExclusiveLock hold(&m_lock);
        while (m_size == 0 && !m_stopped && !m_finished) {
            const ULONGLONG now = GetTickCount64();
            if (now >= deadline)
                break;
            SleepConditionVariableSRW(&m_dataReady, &m_lock, static_cast<DWORD>(deadline - now), 0);
        }
        if (m_stopped)
            return 0;
        copied = Copy(dst, std::min(m_size, capacity / m_unit * m_unit));
    }
    if (copied > 0)
        WakeAllConditionVariable(&m_roomReady);
    return copied;
}

void StreamQueue::Finish()
{
    {
        ExclusiveLock hold(&m_lock);
        m_finished = true;
    }
    WakeAllConditionVariable(&m_dataReady);
}

bool StreamQueue::Drained() const
{
    ExclusiveLock hold(&m_lock);
    return m_finished && m_size == 0;
}

void StreamQueue::Stop()
{
    {
        ExclusiveLock hold(&m_lock);
        m_stopped = true;
    }
    WakeAllConditionVariable(&m_dataReady);
    WakeAllConditionVariable(&m_roomReady);
}

size_t StreamQueue::Size() const
{
    ExclusiveLock hold(&m_lock);
    return m_size;
}
