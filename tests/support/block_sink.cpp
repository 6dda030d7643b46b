#include "block_sink.h"

namespace {
constexpr DWORD MAX_BLOCK_BYTES = 48128;
}

bool BlockSink::TakeOne(DWORD& size, DWORD& remaining)
{
    if (m_how == Take::Copy)
        return m_tuner->CopyStream(m_copy, &size, &remaining) && Check(m_copy, size);
    BYTE* data = nullptr;
    return m_tuner->TakeStream(&data, &size, &remaining) && (size == 0 || Check(data, size));
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

bool BlockSink::DrainReady()
{
    while (m_tuner->QueryReadyCount() > 0) {
        DWORD size = 0xDEADBEEF, remaining = 0xDEADBEEF;
        if (!TakeOne(size, remaining)) {
            if (m_fault.empty())
                m_fault = "take refused";
            return false;
        }
        ++m_blocks;
        m_empty += size == 0;
        m_bytes += size;
        m_largest = size > m_largest ? size : m_largest;
    }
    return true;
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
