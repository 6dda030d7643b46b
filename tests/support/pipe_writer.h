// The writer side: a client of a channel's pipe, in this process.
#pragma once
#include <windows.h>
#include <atomic>
#include <cstdint>
#include <vector>

constexpr DWORD CONNECT_TIMEOUT_MS = 5000;
constexpr DWORD WRITER_JOIN_TIMEOUT_MS = 30000;   // far beyond any write the tests make

class PipeWriter {
public:
    PipeWriter() = default;
    ~PipeWriter() { Close(); }
    PipeWriter(const PipeWriter&) = delete;
    PipeWriter& operator=(const PipeWriter&) = delete;

    // Retries while the pipe is missing or busy, up to the time-out.
    bool Connect(DWORD channel, DWORD timeoutMs = CONNECT_TIMEOUT_MS);
    bool Write(const void* data, DWORD size);
    void Close();
    bool IsOpen() const { return m_pipe != INVALID_HANDLE_VALUE; }
    HANDLE Handle() const { return m_pipe; }

private:
    HANDLE m_pipe = INVALID_HANDLE_VALUE;
};

// Writes a seeded pattern in sizes drawn from [minWrite, maxWrite] on a thread of its own.
class StreamWriter {
public:
    StreamWriter(DWORD channel, uint64_t seed, uint64_t totalBytes, DWORD minWrite, DWORD maxWrite,
                 DWORD connectTimeoutMs = CONNECT_TIMEOUT_MS);
    virtual ~StreamWriter();
    StreamWriter(const StreamWriter&) = delete;
    StreamWriter& operator=(const StreamWriter&) = delete;

    void Start();
    // Waits for the thread; a writer that never ends fails the test instead of hanging it.
    void Join();
    bool Succeeded() const { return m_ok; }
    uint64_t BytesWritten() const { return m_written; }
    DWORD LongestWriteMs() const { return m_longestWriteMs; }

protected:
    HANDLE m_release = NULL;    // when set, the pipe stays open until it is signalled

private:
    static DWORD WINAPI ThreadMain(LPVOID self);
    void Run();
    void SendAll(PipeWriter& pipe);
    DWORD m_channel;
    uint64_t m_seed;
    uint64_t m_total;
    DWORD m_minWrite;
    DWORD m_maxWrite;
    DWORD m_connectTimeoutMs;
    HANDLE m_thread = NULL;     // a plain thread: the threads library makes handles of its own
    std::atomic<bool> m_ok{false};
    std::atomic<uint64_t> m_written{0};
    std::atomic<DWORD> m_longestWriteMs{0};
    std::atomic<const char*> m_doing{"starting"};
};
