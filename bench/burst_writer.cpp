#include "burst_writer.h"
#include <algorithm>
#include "bench_config.h"
#include "pipe_client.h"

BurstWriter::BurstWriter() : m_request(CreateEventW(NULL, FALSE, FALSE, NULL)), m_buffer(BULK_WRITE_BYTES)
{
}

bool BurstWriter::Start(const std::wstring& pipeName)
{
    m_pipe = ConnectPipe(pipeName, CONNECT_LIMIT_MS);
    if (m_pipe == INVALID_HANDLE_VALUE)
        return false;
    m_thread = std::thread([this] { Run(); });
    return true;
}

void BurstWriter::Send(uint64_t bytes)
{
    m_pending = bytes;
    SetEvent(m_request);
}

void BurstWriter::Stop()
{
    if (m_thread.joinable()) {
        m_stop = true;
        SetEvent(m_request);
        m_thread.join();
    }
    if (m_pipe != INVALID_HANDLE_VALUE)
        CloseHandle(m_pipe);
    m_pipe = INVALID_HANDLE_VALUE;
    if (m_request != NULL)
        CloseHandle(m_request);
    m_request = NULL;
}

void BurstWriter::Run()
{
    while (WaitForSingleObject(m_request, INFINITE) == WAIT_OBJECT_0 && !m_stop) {
        for (uint64_t left = m_pending.exchange(0); left > 0 && m_ok;) {
            const DWORD size = static_cast<DWORD>(std::min<uint64_t>(left, m_buffer.size()));
            DWORD written = 0;
            m_ok = WriteFile(m_pipe, m_buffer.data(), size, &written, NULL) && written == size;
            left -= size;
        }
    }
}
