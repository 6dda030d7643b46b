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
    : m_ring(capacity, unit)
{
}

size_t StreamQueue::PushDroppingOldest(const uint8_t* data, size_t size)
{
    size_t dropped = 0;
    {
        ExclusiveLock hold(&m_lock);
        if (m_stopped)
            return size / m_ring.Unit();
        dropped = m_ring.PutDroppingOldest(data, size);
    }
    if (size >= m_ring.Unit())
        WakeAllConditionVariable(&m_dataReady);
    return dropped;
}

bool StreamQueue::PushWaiting(const uint8_t* data, size_t size)
{
    while (size > 0) {
        size_t taken = 0;
        {
            ExclusiveLock hold(&m_lock);
            while (!m_stopped && m_ring.Room() == 0)
                SleepConditionVariableSRW(&m_roomReady, &m_lock, INFINITE, 0);
            if (m_stopped)
                return false;
            taken = std::min(size, m_ring.Room());
            m_ring.Put(data, taken);
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
        while (m_ring.Size() == 0 && !m_stopped && !m_finished) {
            const ULONGLONG now = GetTickCount64();
            if (now >= deadline)
                break;
            SleepConditionVariableSRW(&m_dataReady, &m_lock, static_cast<DWORD>(deadline - now), 0);
        }
        if (m_stopped)
            return 0;
        copied = m_ring.Take(dst, capacity);
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
    return m_finished && m_ring.Size() == 0;
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
    return m_ring.Size();
}
