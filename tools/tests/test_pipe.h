// A channel's pipe played by the test itself, to meet the writer without a driver.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

class TestPipe {
public:
    explicit TestPipe(uint32_t channel);
    ~TestPipe();

    bool IsOpen() const { return m_hPipe != INVALID_HANDLE_VALUE; }
    ::testing::AssertionResult WaitForWriter(DWORD timeoutMs);
    // Reads until the writer has gone; false if the deadline passes first.
    ::testing::AssertionResult ReadUntilGone(DWORD timeoutMs, std::vector<uint8_t>* bytes);
    // `total`, when given, receives how many bytes were read.
    ::testing::AssertionResult ReadSome(size_t atLeast, DWORD timeoutMs, size_t* total = nullptr);
    // Waits, reading nothing, until the pipe's buffer holds `atLeast` unread bytes.
    ::testing::AssertionResult WaitForBuffered(size_t atLeast, DWORD timeoutMs);
    // The unread bytes in the pipe's buffer now, by the system's count; 0 when it cannot say.
    size_t Buffered() const;
    void Close();

private:
    // One overlapped step waited for up to the deadline: finished, pending-then-finished or failed.
    bool Finish(BOOL started, DWORD timeoutMs, DWORD* bytes, DWORD* error);

    HANDLE      m_hPipe = INVALID_HANDLE_VALUE;
    HANDLE      m_hEvent = NULL;
    OVERLAPPED  m_overlapped = {};
    bool        m_bPending = false;     // a step timed out with m_overlapped still in use
};
