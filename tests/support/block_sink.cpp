#include "block_sink.h"

namespace {
constexpr DWORD MAX_BLOCK_BYTES = 48128;
constexpr DWORD WAIT_SIGNALLED = WAIT_OBJECT_0;
}

// `took` tells a handed-out block (maybe empty) from nothing ready: only a
// block sets the data pointer; for a copy, the ready count seen before it
// tells, since only this consumer lowers it.
bool BlockSink::TakeOne(DWORD& size, DWORD& remaining, bool& took)
{
    if (m_how == Take::Copy) {
        const DWORD readyBefore = m_tuner->QueryReadyCount();
        if (!m_tuner->CopyStream(m_copy, &size, &remaining))
            return false;
        took = size != 0 || readyBefore != 0;
        return Check(m_copy, size);
    }
    BYTE* data = nullptr;
    if (!m_tuner->TakeStream(&data, &size, &remaining))
        return false;
    took = data != nullptr;
    return size == 0 || Check(data, size);
}

// One take, checked and counted when it handed out a block; false on a fault.
bool BlockSink::TakeAndCount(bool& took, DWORD& remaining)
{
    DWORD size = 0xDEADBEEF;
    remaining = 0xDEADBEEF;
    if (!TakeOne(size, remaining, took)) {
        if (m_fault.empty())
            m_fault = "take refused";
        return false;
    }
    if (took)
        Count(size);
    return true;
}

bool BlockSink::Check(const BYTE* data, DWORD size)
{
    if (size > MAX_BLOCK_BYTES) {
        m_fault = "block of " + std::to_string(size) + " bytes";
        return false;
    }
    const size_t good = m_pattern.Match(data, size);
    if (good != size) {
        m_fault = "byte " + std::to_string(m_bytes + good) + " differs";
        return false;
    }
    return true;
}

void BlockSink::Count(DWORD size)
{
    ++m_blocks;
    m_empty += size == 0;
    m_bytes += size;
    m_largest = size > m_largest ? size : m_largest;
}

bool BlockSink::DrainReady()
{
    while (m_tuner->QueryReadyCount() > 0) {
        bool took = false;
        DWORD remaining = 0;
        if (!TakeAndCount(took, remaining))
            return false;
    }
    return true;
}

// One wake-up, then takes until the driver says none remain. A wake-up for
// blocks already drained with an earlier one finds nothing, which is allowed.
bool BlockSink::AwaitAndDrain(DWORD idleLimitMs)
{
    const DWORD woke = m_tuner->WaitStream(idleLimitMs);
    if (woke != WAIT_SIGNALLED) {
        m_fault = "no wake-up for " + std::to_string(idleLimitMs) + " ms at " + std::to_string(m_bytes) +
                  " bytes (WaitStream gave " + std::to_string(woke) + ")";
        return false;
    }
    for (;;) {
        bool took = false;
        DWORD remaining = 0;
        if (!TakeAndCount(took, remaining))
            return false;
        if (!took || remaining == 0)
            return true;
    }
}

bool BlockSink::ReceiveBytes(uint64_t bytes, DWORD idleLimitMs)
{
    if (!ReceiveAtLeast(bytes, idleLimitMs))
        return false;
    if (m_bytes != bytes)
        m_fault = "received " + std::to_string(m_bytes) + " of " + std::to_string(bytes) + " bytes";
    return m_bytes == bytes;
}

bool BlockSink::ReceiveAtLeast(uint64_t bytes, DWORD idleLimitMs)
{
    ULONGLONG lastProgress = GetTickCount64();
    while (m_bytes < bytes) {
        if (m_drain == Drain::Waiting) {
            if (!AwaitAndDrain(idleLimitMs))
                return false;
            continue;
        }
        const uint64_t before = m_bytes;
        m_tuner->WaitStream(STREAM_WAIT_MS);
        if (!DrainReady())
            return false;
        if (m_bytes != before)
            lastProgress = GetTickCount64();
        else if (GetTickCount64() - lastProgress > idleLimitMs) {
            m_fault = "stalled at " + std::to_string(m_bytes) + " of " + std::to_string(bytes) + " bytes";
            return false;
        }
    }
    return true;
}
