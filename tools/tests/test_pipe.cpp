#include <gtest/gtest.h>

#include "test_pipe.h"

#include "pipe_name.h"

namespace {

const DWORD BUFFER_SIZE = 48128;
const DWORD PIPE_TIMEOUT_MS = 3000;
const DWORD CANCEL_TIMEOUT_MS = 5000;
const DWORD POLL_MS = 10;

} // namespace

TestPipe::TestPipe(uint32_t channel)
{
    m_hEvent = CreateEventW(NULL, TRUE, FALSE, NULL);
    m_hPipe = CreateNamedPipeW(PipeNameForChannel(channel).c_str(), PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED,
                               0, 1, BUFFER_SIZE, BUFFER_SIZE, PIPE_TIMEOUT_MS, NULL);
}

TestPipe::~TestPipe()
{
    Close();
    CloseHandle(m_hEvent);
}

void TestPipe::Close()
{
    if (m_hPipe != INVALID_HANDLE_VALUE) {
        // The record must outlive a step that timed out; anything else has ended already.
        if (m_bPending) {
            CancelIoEx(m_hPipe, &m_overlapped);
            WaitForSingleObject(m_hEvent, CANCEL_TIMEOUT_MS);
            m_bPending = false;
        }
        CloseHandle(m_hPipe);
        m_hPipe = INVALID_HANDLE_VALUE;
    }
}

bool TestPipe::Finish(BOOL started, DWORD timeoutMs, DWORD* bytes, DWORD* error)
{
    *error = started ? ERROR_SUCCESS : GetLastError();
    if (!started && *error != ERROR_IO_PENDING)
        return true;
    if (!started && WaitForSingleObject(m_hEvent, timeoutMs) != WAIT_OBJECT_0) {
        m_bPending = true;
        return false;
    }
    *error = GetOverlappedResult(m_hPipe, &m_overlapped, bytes, FALSE) ? ERROR_SUCCESS : GetLastError();
    return true;
}

::testing::AssertionResult TestPipe::WaitForWriter(DWORD timeoutMs)
{
    ZeroMemory(&m_overlapped, sizeof m_overlapped);
    m_overlapped.hEvent = m_hEvent;
    DWORD bytes = 0, error = 0;
    if (!Finish(ConnectNamedPipe(m_hPipe, &m_overlapped), timeoutMs, &bytes, &error))
        return ::testing::AssertionFailure() << "no writer connected within " << timeoutMs << " ms";
    // ERROR_NO_DATA: a writer that came and went before we listened; its bytes are still there.
    if (error != ERROR_SUCCESS && error != ERROR_PIPE_CONNECTED && error != ERROR_NO_DATA)
        return ::testing::AssertionFailure() << "connect failed with error " << error;
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult TestPipe::ReadUntilGone(DWORD timeoutMs, std::vector<uint8_t>* bytes)
{
    std::vector<uint8_t> buffer(BUFFER_SIZE);
    const DWORD start = GetTickCount();
    for (;;) {
        const DWORD spent = GetTickCount() - start;
        if (spent >= timeoutMs)
            return ::testing::AssertionFailure() << "the writer was still there after " << timeoutMs << " ms";
        ZeroMemory(&m_overlapped, sizeof m_overlapped);
        m_overlapped.hEvent = m_hEvent;
        DWORD got = 0, error = 0;
        if (!Finish(ReadFile(m_hPipe, buffer.data(), BUFFER_SIZE, NULL, &m_overlapped), timeoutMs - spent,
                    &got, &error))
            return ::testing::AssertionFailure() << "the writer was still there after " << timeoutMs << " ms";
        if (error == ERROR_BROKEN_PIPE)
            return ::testing::AssertionSuccess();
        if (error != ERROR_SUCCESS)
            return ::testing::AssertionFailure() << "read failed with error " << error;
        bytes->insert(bytes->end(), buffer.begin(), buffer.begin() + got);
    }
}

::testing::AssertionResult TestPipe::WaitForBuffered(size_t atLeast, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    DWORD available = 0;
    while (PeekNamedPipe(m_hPipe, NULL, 0, NULL, &available, NULL) && available < atLeast) {
        if (GetTickCount() - start >= timeoutMs)
            return ::testing::AssertionFailure() << "only " << available << " bytes buffered within " << timeoutMs
                                                 << " ms";
        Sleep(POLL_MS);
    }
    if (available < atLeast)
        return ::testing::AssertionFailure() << "peeking failed with error " << GetLastError();
    return ::testing::AssertionSuccess();
}

size_t TestPipe::Buffered() const
{
    DWORD available = 0;
    return PeekNamedPipe(m_hPipe, NULL, 0, NULL, &available, NULL) ? available : 0;
}

::testing::AssertionResult TestPipe::ReadSome(size_t atLeast, DWORD timeoutMs, size_t* read)
{
    std::vector<uint8_t> buffer(BUFFER_SIZE);
    size_t total = 0;
    const DWORD start = GetTickCount();
    while (total < atLeast) {
        const DWORD spent = GetTickCount() - start;
        if (spent >= timeoutMs)
            return ::testing::AssertionFailure() << "only " << total << " bytes within " << timeoutMs << " ms";
        ZeroMemory(&m_overlapped, sizeof m_overlapped);
        m_overlapped.hEvent = m_hEvent;
        DWORD got = 0, error = 0;
        if (!Finish(ReadFile(m_hPipe, buffer.data(), BUFFER_SIZE, NULL, &m_overlapped), timeoutMs - spent,
                    &got, &error))
            return ::testing::AssertionFailure() << "only " << total << " bytes within " << timeoutMs << " ms";
        if (error != ERROR_SUCCESS)
            return ::testing::AssertionFailure() << "read failed with error " << error;
        total += got;
        if (read != nullptr)
            *read = total;
    }
    return ::testing::AssertionSuccess();
}
