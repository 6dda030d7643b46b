// The fuzz's writers: one thread per channel that connects whenever the pipe is
// there, writes random sizes, pauses and leaves at random, then connects anew
// as the next session. Each session's bytes say where they stand.
#pragma once
#include <windows.h>
#include <atomic>
#include <cstdint>
#include <vector>
#include "session_registry.h"

class FuzzWriters {
public:
    FuzzWriters(SessionRegistry& sessions, const std::vector<DWORD>& channels, uint64_t seed);
    ~FuzzWriters() { Stop(); }
    FuzzWriters(const FuzzWriters&) = delete;
    FuzzWriters& operator=(const FuzzWriters&) = delete;

    void Start();
    // Writers blocked in a write end once the host closes its channel, so the
    // host closes first; false when a writer did not end in time.
    bool Stop();
    uint64_t Writes() const { return m_writes; }
    uint64_t BytesWritten() const { return m_bytes; }

private:
    struct Writer {
        FuzzWriters* owner;
        DWORD channel;
        uint64_t seed;
        HANDLE thread;
    };
    static DWORD WINAPI Run(LPVOID writer);
    void Sessions(const Writer& writer);
    bool WriteSession(HANDLE pipe, uint32_t session, uint64_t& random);

    SessionRegistry& m_sessions;
    std::vector<Writer> m_writers;
    std::atomic<bool> m_stop{false};
    std::atomic<uint64_t> m_writes{0};
    std::atomic<uint64_t> m_bytes{0};
};
