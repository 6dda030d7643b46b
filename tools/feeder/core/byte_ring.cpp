#include "byte_ring.h"

#include <algorithm>
#include <cstring>

ByteRing::ByteRing(size_t capacity, size_t unit)
    : m_ring(new uint8_t[capacity / unit * unit]), m_unit(unit), m_capacity(capacity / unit * unit)
{
}

void ByteRing::Put(const uint8_t* data, size_t size)
{
    if (size == 0)
        return;     // also keeps a ring smaller than one unit from dividing by zero
    const size_t tail = (m_head + m_size) % m_capacity;
    const size_t first = std::min(size, m_capacity - tail);
    std::memcpy(m_ring.get() + tail, data, first);
    std::memcpy(m_ring.get(), data + first, size - first);
    m_size += size;
}

void ByteRing::Discard(size_t size)
{
    if (size == 0)
        return;
    m_head = (m_head + size) % m_capacity;
    m_size -= size;
}

size_t ByteRing::PutDroppingOldest(const uint8_t* data, size_t size)
{
    const size_t units = size / m_unit;
    const size_t capacityUnits = m_capacity / m_unit;
    const size_t kept = std::min(units, capacityUnits);
    const size_t droppedNew = units - kept;
    const size_t needed = kept * m_unit;
    const size_t droppedOld = needed > Room() ? (needed - Room()) / m_unit : 0;
    Discard(droppedOld * m_unit);
    Put(data + droppedNew * m_unit, needed);
    return droppedOld + droppedNew;
}

size_t ByteRing::Take(uint8_t* dst, size_t capacity)
{
    const size_t size = std::min(m_size, capacity / m_unit * m_unit);
    const size_t first = std::min(size, m_capacity - m_head);
    std::memcpy(dst, m_ring.get() + m_head, first);
    std::memcpy(dst + first, m_ring.get(), size - first);
    Discard(size);
    return size;
}
