// A bounded queue of bytes between a source's receiving thread and the channel
// worker. A live source that cannot wait (UDP) pushes whole packets and loses the
// packets that do not fit; a pull source (HTTP) waits for room. Whoever pops
// never waits longer than asked.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <memory>

class StreamQueue {
public:
    // capacity is rounded down to whole units; unit is 188 for packets, 1 for bytes.
    StreamQueue(size_t capacity, size_t unit);
    StreamQueue(const StreamQueue&) = delete;
    StreamQueue& operator=(const StreamQueue&) = delete;

    // Takes as many whole units of `size` bytes as fit and answers how many did not.
    size_t PushOrDrop(const uint8_t* data, size_t size);
    // Takes all `size` bytes, waiting for room; false when the queue was stopped first.
    bool PushWaiting(const uint8_t* data, size_t size);
    // Copies whole units, at most `capacity` bytes, waiting at most waitMs for the
    // first; 0 when nothing came or the queue is stopped or finished and empty.
    size_t Pop(uint8_t* dst, size_t capacity, DWORD waitMs);
    // The producer has no more to give; poppers are woken.
    void Finish();
    // Finished and every byte popped: the end, and not before. A pop that came
    // back empty says nothing of the end, since the last bytes and Finish may
    // have come right after it.
    bool Drained() const;
    // Wakes everyone for good: the source is closing.
    void Stop();
    size_t Size() const;

private:
    size_t Copy(uint8_t* dst, size_t size);
    void Put(const uint8_t* data, size_t size);

    mutable SRWLOCK             m_lock = SRWLOCK_INIT;
    CONDITION_VARIABLE          m_dataReady = CONDITION_VARIABLE_INIT;
    CONDITION_VARIABLE          m_roomReady = CONDITION_VARIABLE_INIT;
    std::unique_ptr<uint8_t[]>  m_ring;     // left untouched until used: pages come on demand
    const size_t                m_unit;
    const size_t                m_capacity;
    size_t                      m_head = 0;     // next byte to pop; under m_lock
    size_t                      m_size = 0;     // under m_lock
    bool                        m_finished = false;
    bool                        m_stopped = false;
};
