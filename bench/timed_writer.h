// A writer on a thread of its own: connects, writes in the planned sizes for a set
// time (paced or as fast as the pipe takes them), then closes its end.
#pragma once
#include <windows.h>
#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>
#include "write_sizes.h"

struct WritePlan {
    std::wstring    pipeName;
    WriteSizes      sizes;
    double          seconds;            // no write starts later than this after the first
    double          bytesPerSecond;     // 0: as fast as the pipe takes them
};

struct WriterFigures {
    bool        ok;                 // connected, and every write went through
    uint64_t    bytes;
    uint64_t    writes;
    double      firstWriteAt;       // NowSeconds() when the first write started
    double      longestWriteMs;     // the longest one WriteFile was blocked
    // When writes that had waited for the reader went through: with the driver, the
    // moments its push worker woke and started reads again.
    std::vector<double> unblockedAt;
};

class TimedWriter {
public:
    explicit TimedWriter(const WritePlan& plan);
    ~TimedWriter() { Join(); }
    TimedWriter(const TimedWriter&) = delete;
    TimedWriter& operator=(const TimedWriter&) = delete;

    void Start();
    WriterFigures Join();
    bool Finished() const { return m_finished.load(); }
    uint64_t BytesWritten() const { return m_bytes.load(); }

private:
    void Run();
    bool WaitForPace(double start);
    WritePlan               m_plan;
    std::vector<BYTE>       m_buffer;
    std::thread             m_thread;
    WriterFigures           m_figures;
    std::atomic<uint64_t>   m_bytes{0};     // read by the host to know when all has arrived
    std::atomic<bool>       m_finished{false};
};
