#include "held_writer.h"
#include <algorithm>
#include <random>
#include <vector>
#include "pattern.h"
#include "pipe_writer.h"

HeldWriter::HeldWriter(DWORD channel, uint64_t seed, uint64_t totalBytes, DWORD minWrite, DWORD maxWrite,
                       DWORD connectTimeoutMs)
    : m_channel(channel), m_seed(seed), m_total(totalBytes), m_minWrite(minWrite), m_maxWrite(maxWrite),
      m_connectTimeoutMs(connectTimeoutMs), m_release(CreateEventW(NULL, TRUE, FALSE, NULL))
{
}

HeldWriter::~HeldWriter()
{
    Release();
    Join();
    CloseHandle(m_release);
}

void HeldWriter::Start()
{
    m_thread = CreateThread(NULL, 0, Main, this, 0, NULL);
}

DWORD WINAPI HeldWriter::Main(LPVOID self)
{
    static_cast<HeldWriter*>(self)->Run();
    return 0;
}

void HeldWriter::Release()
{
    SetEvent(m_release);
}

void HeldWriter::Join()
{
    if (m_thread == NULL)
        return;
    WaitForSingleObject(m_thread, INFINITE);
    CloseHandle(m_thread);
    m_thread = NULL;
}

void HeldWriter::Run()
{
    PipeWriter pipe;
    if (!pipe.Connect(m_channel, m_connectTimeoutMs))
        return;
    Pattern pattern(m_seed);
    std::mt19937 sizes(static_cast<unsigned>(m_seed));
    std::uniform_int_distribution<DWORD> pick(m_minWrite, m_maxWrite);
    std::vector<unsigned char> buffer(m_maxWrite);
    while (m_written < m_total) {
        const DWORD size = static_cast<DWORD>(std::min<uint64_t>(pick(sizes), m_total - m_written));
        pattern.Fill(buffer.data(), size);
        if (!pipe.Write(buffer.data(), size))
            break;
        m_written += size;
    }
    m_ok = m_written == m_total;
    // Held until released, even after a failed write, so Join never races the test.
    WaitForSingleObject(m_release, INFINITE);
}
