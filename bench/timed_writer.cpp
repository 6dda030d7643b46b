#include "timed_writer.h"
#include "bench_clock.h"
#include "bench_config.h"
#include "pipe_client.h"

namespace {
constexpr DWORD PACE_SLEEP_MS = 1;
constexpr double WAITED_FOR_READER_MS = 2.0;   // longer than a write into ready reads takes
constexpr size_t UNBLOCK_LOG_CAPACITY = 1 << 14;
}

TimedWriter::TimedWriter(const WritePlan& plan)
    : m_plan(plan), m_buffer(plan.sizes.Largest()), m_figures{false, 0, 0, 0.0, 0.0, {}}
{
    m_figures.unblockedAt.reserve(UNBLOCK_LOG_CAPACITY);
    for (size_t i = 0; i < m_buffer.size(); ++i)
        m_buffer[i] = static_cast<BYTE>(i * 7 + 1);
}

void TimedWriter::Start()
{
    m_thread = std::thread([this] { Run(); });
}

WriterFigures TimedWriter::Join()
{
    if (m_thread.joinable())
        m_thread.join();
    return m_figures;
}

// Sleeps while the writer is ahead of its rate; false once its time is up.
bool TimedWriter::WaitForPace(double start)
{
    for (;;) {
        const double elapsed = NowSeconds() - start;
        if (elapsed >= m_plan.seconds)
            return false;
        if (m_plan.bytesPerSecond <= 0.0 || m_bytes.load() < elapsed * m_plan.bytesPerSecond)
            return true;
        Sleep(PACE_SLEEP_MS);
    }
}

void TimedWriter::Run()
{
    HANDLE pipe = ConnectPipe(m_plan.pipeName, CONNECT_LIMIT_MS);
    bool ok = pipe != INVALID_HANDLE_VALUE;
    const double start = NowSeconds();
    m_figures.firstWriteAt = start;
    while (ok && WaitForPace(start)) {
        const DWORD size = m_plan.sizes.Next();
        double blockedMs = 0.0;
        ok = WriteTimed(pipe, m_buffer.data(), size, blockedMs);
        if (!ok)
            break;
        if (blockedMs > m_figures.longestWriteMs)
            m_figures.longestWriteMs = blockedMs;
        std::vector<double>& unblocked = m_figures.unblockedAt;
        if (blockedMs > WAITED_FOR_READER_MS && unblocked.size() < unblocked.capacity())
            unblocked.push_back(NowSeconds());
        ++m_figures.writes;
        m_bytes += size;
    }
    m_figures.ok = ok;
    m_figures.bytes = m_bytes.load();
    if (pipe != INVALID_HANDLE_VALUE)
        CloseHandle(pipe);
    m_finished = true;
}
