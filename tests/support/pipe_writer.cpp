#include "pipe_writer.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <random>
#include <string>
#include "driver_module.h"
#include "pattern.h"
#include "wait_until.h"

bool PipeWriter::Connect(DWORD channel, DWORD timeoutMs)
{
    Close();
    const std::wstring name = PipeName(channel);
    return WaitUntil([&] {
        // An inbound pipe admits write access only.
        m_pipe = CreateFileW(name.c_str(), GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
        return m_pipe != INVALID_HANDLE_VALUE;
    }, timeoutMs);
}

bool PipeWriter::Write(const void* data, DWORD size)
{
    DWORD written = 0;
    return WriteFile(m_pipe, data, size, &written, NULL) && written == size;
}

void PipeWriter::Close()
{
    if (m_pipe != INVALID_HANDLE_VALUE)
        CloseHandle(m_pipe);
    m_pipe = INVALID_HANDLE_VALUE;
}

StreamWriter::StreamWriter(DWORD channel, uint64_t seed, uint64_t totalBytes, DWORD minWrite, DWORD maxWrite,
                           DWORD connectTimeoutMs)
    : m_channel(channel), m_seed(seed), m_total(totalBytes), m_minWrite(minWrite), m_maxWrite(maxWrite),
      m_connectTimeoutMs(connectTimeoutMs)
{
}

StreamWriter::~StreamWriter()
{
    if (m_release != NULL)
        SetEvent(m_release);
    Join();
    if (m_release != NULL)
        CloseHandle(m_release);
}

DWORD WINAPI StreamWriter::ThreadMain(LPVOID self)
{
    static_cast<StreamWriter*>(self)->Run();
    return 0;
}

void StreamWriter::Start()
{
    m_thread = CreateThread(NULL, 0, ThreadMain, this, 0, NULL);
}

void StreamWriter::Join()
{
    if (m_thread == NULL)
        return;
    if (WaitForSingleObject(m_thread, WRITER_JOIN_TIMEOUT_MS) != WAIT_OBJECT_0) {
        ADD_FAILURE() << "the writer thread is still " << m_doing.load() << " after " << WRITER_JOIN_TIMEOUT_MS
                      << " ms, " << m_written.load() << " bytes written";
        TerminateThread(m_thread, 0);
        WaitForSingleObject(m_thread, WRITER_JOIN_TIMEOUT_MS);
    }
    CloseHandle(m_thread);
    m_thread = NULL;
}

void StreamWriter::Run()
{
    PipeWriter pipe;
    m_doing = "connecting";
    if (!pipe.Connect(m_channel, m_connectTimeoutMs))
        return;
    m_doing = "writing";
    SendAll(pipe);
    m_ok = m_written == m_total;
    // Held until released, even after a failed write, so Join never races the test.
    m_doing = "held, waiting for its release";
    if (m_release != NULL)
        WaitForSingleObject(m_release, INFINITE);
    m_doing = "closing";
}

void StreamWriter::SendAll(PipeWriter& pipe)
{
    Pattern pattern(m_seed);
    std::mt19937 sizes(static_cast<unsigned>(m_seed));
    std::uniform_int_distribution<DWORD> pick(m_minWrite, m_maxWrite);
    std::vector<unsigned char> buffer(m_maxWrite);
    while (m_written < m_total) {
        const DWORD size = static_cast<DWORD>(std::min<uint64_t>(pick(sizes), m_total - m_written));
        pattern.Fill(buffer.data(), size);
        const ULONGLONG start = GetTickCount64();
        if (!pipe.Write(buffer.data(), size))
            return;
        const DWORD took = static_cast<DWORD>(GetTickCount64() - start);
        if (took > m_longestWriteMs)
            m_longestWriteMs = took;
        m_written += size;
    }
}
