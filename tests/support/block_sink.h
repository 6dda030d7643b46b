// The host side of a stream test: drains the tuner and checks every byte in order.
#pragma once
#include <windows.h>
#include <cstdint>
#include <string>
#include "IBonDriver.h"
#include "pattern.h"

constexpr DWORD STREAM_WAIT_MS = 100;
constexpr DWORD STREAM_IDLE_LIMIT_MS = 10000;

class BlockSink {
public:
    enum class Take { Pointer, Copy };
    // Polling drains whatever QueryReadyCount shows after each short wait; Waiting
    // drains only on a wake-up, as hosts do, so a missing signal stalls it.
    enum class Drain { Polling, Waiting };
    BlockSink(IBonDriver2* tuner, uint64_t seed, Take how = Take::Pointer, Drain drain = Drain::Polling)
        : m_tuner(tuner), m_pattern(seed), m_how(how), m_drain(drain) {}

    // Takes every ready block; false on a fault (recorded in Fault()).
    bool DrainReady();
    // Drains until `bytes` have arrived, or fails when nothing came for the idle limit.
    bool ReceiveBytes(uint64_t bytes, DWORD idleLimitMs = STREAM_IDLE_LIMIT_MS);
    // The same, for a stream that goes on: more than `bytes` may have arrived.
    bool ReceiveAtLeast(uint64_t bytes, DWORD idleLimitMs = STREAM_IDLE_LIMIT_MS);

    uint64_t Bytes() const { return m_bytes; }
    uint64_t Blocks() const { return m_blocks; }
    uint64_t EmptyBlocks() const { return m_empty; }
    DWORD LargestBlock() const { return m_largest; }
    const std::string& Fault() const { return m_fault; }
    void ExpectNewWriter(uint64_t seed) { m_pattern = Pattern(seed); }

private:
    bool TakeOne(DWORD& size, DWORD& remaining, bool& took);
    bool TakeAndCount(bool& took, DWORD& remaining);
    bool Check(const BYTE* data, DWORD size);
    void Count(DWORD size);
    bool AwaitAndDrain(DWORD idleLimitMs);
    IBonDriver2* m_tuner;
    Pattern m_pattern;
    Take m_how;
    Drain m_drain;
    BYTE m_copy[48128];
    uint64_t m_bytes = 0;
    uint64_t m_blocks = 0;
    uint64_t m_empty = 0;
    DWORD m_largest = 0;
    std::string m_fault;
};
