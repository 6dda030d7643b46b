// A writer that sends a seeded pattern in random sizes, then stays connected
// until told to go, so that its departure happens exactly when the test wants.
// A plain platform thread: the threads library's own locks make handles on first
// contention, which would blur the handle counts of leak checks.
#pragma once
#include <windows.h>
#include <atomic>
#include <cstdint>

class HeldWriter {
public:
    HeldWriter(DWORD channel, uint64_t seed, uint64_t totalBytes, DWORD minWrite, DWORD maxWrite,
               DWORD connectTimeoutMs);
    ~HeldWriter();
    HeldWriter(const HeldWriter&) = delete;
    HeldWriter& operator=(const HeldWriter&) = delete;

    void Start();
    void Release();     // lets the writer close its end of the pipe, now or once it has written all
    void Join();        // after Release, returns once the pipe is closed
    bool Succeeded() const { return m_ok; }
    uint64_t BytesWritten() const { return m_written; }

private:
    static DWORD WINAPI Main(LPVOID self);
    void Run();
    DWORD m_channel;
    uint64_t m_seed;
    uint64_t m_total;
    DWORD m_minWrite;
    DWORD m_maxWrite;
    DWORD m_connectTimeoutMs;
    HANDLE m_release;
    HANDLE m_thread = NULL;
    std::atomic<bool> m_ok{false};
    std::atomic<uint64_t> m_written{0};
};
