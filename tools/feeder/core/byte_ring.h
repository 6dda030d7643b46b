// The bytes of a stream queue in a fixed ring, in whole units (188 for packets,
// 1 for bytes). Plain C++ without locking: the queue around it locks.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

class ByteRing {
public:
    // capacity is rounded down to whole units.
    ByteRing(size_t capacity, size_t unit);

    size_t Unit() const { return m_unit; }
    size_t Capacity() const { return m_capacity; }
    size_t Size() const { return m_size; }
    size_t Room() const { return m_capacity - m_size; }
    // Appends `size` bytes; the caller has made room.
    void Put(const uint8_t* data, size_t size);
    // Appends the whole units of `size` bytes, dropping the oldest units (queued
    // first, then the earliest of these) to make room: a live stream keeps its
    // newest part. Answers how many units were dropped.
    size_t PutDroppingOldest(const uint8_t* data, size_t size);
    // Moves out whole units, at most `capacity` bytes; answers the bytes moved.
    size_t Take(uint8_t* dst, size_t capacity);

private:
    void Discard(size_t size);

    std::unique_ptr<uint8_t[]>  m_ring;     // left untouched until used: pages come on demand
    const size_t                m_unit;
    const size_t                m_capacity;
    size_t                      m_head = 0;     // next byte to take
    size_t                      m_size = 0;
};
