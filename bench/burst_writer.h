// A writer that sends bursts on request over one connection, so that a measurement
// can sit between two bursts without a thread being made in between.
#pragma once
#include <windows.h>
#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

class BurstWriter {
public:
    BurstWriter();
    ~BurstWriter() { Stop(); }
    BurstWriter(const BurstWriter&) = delete;
    BurstWriter& operator=(const BurstWriter&) = delete;

    bool Start(const std::wstring& pipeName);   // connects, then waits for requests
    void Send(uint64_t bytes);                  // returns at once
    bool Ok() const { return m_ok.load(); }
    void Stop();

private:
    void Run();
    HANDLE                  m_pipe = INVALID_HANDLE_VALUE;
    HANDLE                  m_request;          // auto-reset: one burst per signal
    std::atomic<uint64_t>   m_pending{0};
    std::atomic<bool>       m_stop{false};
    std::atomic<bool>       m_ok{true};
    std::vector<BYTE>       m_buffer;
    std::thread             m_thread;
};
