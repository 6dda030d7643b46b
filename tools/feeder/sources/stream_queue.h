// A bounded queue of bytes between a source's receiving thread and the channel
// worker. A live source that cannot wait (UDP) pushes whole packets and, when the
// queue is full, loses its oldest packets, so that a host that stalled gets the
// live edge rather than old data and a gap; a pull source (HTTP) waits for room.
// Whoever pops never waits longer than asked.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <memory>

#include "byte_ring.h"

class StreamQueue {
public:
    // capacity is rounded down to whole units; unit is 188 for packets, 1 for bytes.
    StreamQueue(size_t capacity, size_t unit);
    StreamQueue(const StreamQueue&) = delete;
    StreamQueue& operator=(const StreamQueue&) = delete;

    // Takes the whole units of `size` bytes, dropping the oldest to make room;
    // answers how many units were dropped.
    size_t PushDroppingOldest(const uint8_t* data, size_t size);
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
    mutable SRWLOCK             m_lock = SRWLOCK_INIT;
    CONDITION_VARIABLE          m_dataReady = CONDITION_VARIABLE_INIT;
    CONDITION_VARIABLE          m_roomReady = CONDITION_VARIABLE_INIT;
    ByteRing                    m_ring;         // under m_lock
    bool                        m_finished = false;
    bool                        m_stopped = false;
};
