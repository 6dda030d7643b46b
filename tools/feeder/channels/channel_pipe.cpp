#include "channel_pipe.h"

#include "pipe_local_state.h"
#include "pipe_name.h"

PipeOpen ClassifyOpenError(DWORD error)
{
    if (error == ERROR_PIPE_BUSY)
        return PipeOpen::BUSY;
    if (error == ERROR_ACCESS_DENIED)
        return PipeOpen::DENIED;
    // Anything else is taken for not there yet: looking again is all one can do.
    return PipeOpen::MISSING;
}

bool IsHostGoneError(DWORD error)
{
    return error == ERROR_BROKEN_PIPE || error == ERROR_NO_DATA || error == ERROR_PIPE_NOT_CONNECTED;
}

ChannelPipe::ChannelPipe(uint32_t channel) : m_name(PipeNameForChannel(channel))
{
    m_hWriteEvent = CreateEventW(NULL, TRUE, FALSE, NULL);
}

ChannelPipe::~ChannelPipe()
{
    Close();
    if (m_hWriteEvent != NULL)
        CloseHandle(m_hWriteEvent);
}

PipeOpen ChannelPipe::TryOpen()
{
    m_hPipe = CreateFileW(m_name.c_str(), GENERIC_WRITE, 0, NULL, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, NULL);
    if (m_hPipe != INVALID_HANDLE_VALUE)
        return PipeOpen::OPENED;
    return ClassifyOpenError(GetLastError());
}

bool ChannelPipe::StartWrite(const uint8_t* data, size_t size, DWORD* error)
{
    m_overlapped = OVERLAPPED{};
    m_overlapped.hEvent = m_hWriteEvent;
    ResetEvent(m_hWriteEvent);
    if (!WriteFile(m_hPipe, data, static_cast<DWORD>(size), NULL, &m_overlapped)) {
        *error = GetLastError();
        if (*error != ERROR_IO_PENDING)
            return false;
    }
    // Finished at once or pending: either way the result is collected the same way.
    m_bPending = true;
    return true;
}

WriteState ChannelPipe::Collect(DWORD* bytes, DWORD* error)
{
    if (!m_bPending)
        return WriteState::IDLE;
    if (!GetOverlappedResult(m_hPipe, &m_overlapped, bytes, FALSE)) {
        *error = GetLastError();
        if (*error == ERROR_IO_INCOMPLETE)
            return WriteState::PENDING;
        m_bPending = false;
        return WriteState::FAILED;
    }
    m_bPending = false;
    return WriteState::DONE;
}

bool ChannelPipe::HostPresent(DWORD* error)
{
    // A query, not a zero-byte write: an empty write could reach the host as an
    // empty block, which hosts take for a writer that has gone.
    DWORD state = 0;
    if (!GetNamedPipeHandleStateW(m_hPipe, &state, NULL, NULL, NULL, NULL, 0)) {
        *error = GetLastError();
        return !IsHostGoneError(*error);
    }
    // A killed host closed its end without a disconnect: the query above still succeeds.
    if (PipeFarEndClosed(m_hPipe)) {
        *error = ERROR_BROKEN_PIPE;
        return false;
    }
    return true;
}

void ChannelPipe::Close()
{
    if (m_bPending) {
        // Nothing in flight any more is fine: the cancel then finds nothing to do.
        CancelIoEx(m_hPipe, &m_overlapped);
        DWORD ignored = 0;
        GetOverlappedResult(m_hPipe, &m_overlapped, &ignored, TRUE);
        m_bPending = false;
    }
    if (m_hPipe != INVALID_HANDLE_VALUE) {
        CloseHandle(m_hPipe);
        m_hPipe = INVALID_HANDLE_VALUE;
    }
}
