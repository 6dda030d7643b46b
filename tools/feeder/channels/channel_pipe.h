// The writer's end of one channel's pipe: found by looking (a missing pipe
// cannot be waited for), written with overlapped writes that can be abandoned
// at once, and checked for the host's presence without sending anything.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

// DENIED: the pipe is there but refuses this user, as a host running elevated
// or as a service makes it for a feeder with fewer rights.
enum class PipeOpen { OPENED, MISSING, BUSY, DENIED };
enum class WriteState { IDLE, PENDING, DONE, FAILED };

class ChannelPipe {
public:
    explicit ChannelPipe(uint32_t channel);
    ~ChannelPipe();
    ChannelPipe(const ChannelPipe&) = delete;
    ChannelPipe& operator=(const ChannelPipe&) = delete;

    PipeOpen TryOpen();
    bool IsOpen() const { return m_hPipe != INVALID_HANDLE_VALUE; }
    HANDLE Handle() const { return m_hPipe; }
    // The bytes stay the caller's until the write is collected or abandoned.
    bool StartWrite(const uint8_t* data, size_t size, DWORD* error);
    bool Writing() const { return m_bPending; }
    HANDLE WriteEvent() const { return m_hWriteEvent; }
    // DONE with *bytes, PENDING, FAILED with *error, or IDLE when nothing was written.
    WriteState Collect(DWORD* bytes, DWORD* error);
    // False with *error once the host has closed the channel or exited.
    bool HostPresent(DWORD* error);
    // Abandons a pending write (the host stalled) and lets go of the pipe.
    void Close();

    const std::wstring& Name() const { return m_name; }

private:
    std::wstring    m_name;
    HANDLE          m_hPipe = INVALID_HANDLE_VALUE;
    HANDLE          m_hWriteEvent = NULL;
    OVERLAPPED      m_overlapped = {};
    bool            m_bPending = false;     // m_overlapped belongs to the system
};

// What a failed open of the channel's pipe means.
PipeOpen ClassifyOpenError(DWORD error);

// The host is gone: the channel was closed, changed or its process ended.
bool IsHostGoneError(DWORD error);
