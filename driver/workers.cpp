#include "workers.h"
#include "sync.h"
#include "tuner.h"

namespace {

// What the push worker keeps on its own stack for its whole life.
struct PushState {
    OVERLAPPED  connectRecord;
    HANDLE      connectEvent;
    bool        connected;
    bool        connectPending;
    DWORD       pausePasses;
};

void StartConnect(HANDLE pipe, PushState& s)
{
    ZeroMemory(&s.connectRecord, sizeof(s.connectRecord));
    s.connectRecord.hEvent = s.connectEvent;
    if (ConnectNamedPipe(pipe, &s.connectRecord))
        return;     // counted as not connected; the next pass asks again
    switch (GetLastError()) {
    case ERROR_IO_PENDING:
        s.connectPending = true;
        break;
    case ERROR_PIPE_CONNECTED:
    // A writer that came and went before we listened left its bytes behind; read them.
    case ERROR_NO_DATA:
        s.connected = true;
        break;
    default:
        break;
    }
}

void UpdateConnection(HANDLE pipe, PushState& s)
{
    if (!s.connectPending)
        StartConnect(pipe, s);
    // A connect that ended in an error counts as connected: the first failing read disconnects.
    if (s.connectPending && !IsIoPending(s.connectRecord)) {
        s.connected = true;
        s.connectPending = false;
    }
}

// The record lives on this stack, so a pending connect must end before the worker
// does. A cancel completes promptly; should it not, CloseTuner's bounded wait ends
// the worker by force, which leaves the stack in place.
void CancelPendingConnect(HANDLE pipe, PushState& s)
{
    if (!s.connectPending)
        return;
    CancelIoEx(pipe, &s.connectRecord);
    while (IsIoPending(s.connectRecord))
        Sleep(CONNECT_CANCEL_POLL_MS);
    s.connectPending = false;
}

}  // namespace

BOOL IssueRead(CBonTuner* tuner)
{
    PipeBlock* block = tuner->m_pWriteBlock;
    block->dwBytes = 0;
    ZeroMemory(&block->Overlapped, sizeof(block->Overlapped));
    block->Overlapped.hEvent = CreateEventW(NULL, TRUE, FALSE, NULL);
    if (block->Overlapped.hEvent == NULL)
        return FALSE;
    if (!ReadFile(tuner->m_hPipe, block->Data, BLOCK_DATA_SIZE, NULL, &block->Overlapped)
        && GetLastError() != ERROR_IO_PENDING) {
        CloseAndClear(block->Overlapped.hEvent);
        return FALSE;
    }
    // Before the count: the pop worker must never find a counted block not yet reading.
    StoreRelease(block->dwState, static_cast<DWORD>(BLOCK_READING));
    CLockScope lock(tuner->m_csLock);
    tuner->m_pWriteBlock = block->pNext;
    ++tuner->m_dwReadingCount;
    return TRUE;
}

struct PipeWorkers {
    static void PushPass(CBonTuner* tuner, PushState& s);
    static void CollectBlock(CBonTuner* tuner, PipeBlock* block);
    static void PopPass(CBonTuner* tuner);
};

void PipeWorkers::PushPass(CBonTuner* tuner, PushState& s)
{
    if (!s.connected)
        UpdateConnection(tuner->m_hPipe, s);
    DWORD ready, reading;
    {
        CLockScope lock(tuner->m_csLock);
        ready = tuner->m_dwReadyCount;
        reading = tuner->m_dwReadingCount;
    }
    if (ready >= READY_HIGH_WATER)
        s.pausePasses = PAUSE_PASSES;
    if (s.pausePasses != 0) {
        Sleep(PAUSE_SLEEP_MS);
        --s.pausePasses;
    } else if (s.connected && reading < MAX_READING) {
        if (!IssueRead(tuner)) {
            DisconnectNamedPipe(tuner->m_hPipe);
            s.connected = false;
        }
    } else {
        Sleep(IDLE_SLEEP_MS);
    }
}

DWORD WINAPI PushIoThread(LPVOID param)
{
    CBonTuner* tuner = static_cast<CBonTuner*>(param);
    PushState s = {};
    // A null event is tolerated: completion is judged by the record's status alone.
    s.connectEvent = CreateEventW(NULL, TRUE, FALSE, NULL);
    if (LoadAcquire(tuner->m_bRunning)) {
        do {
            PipeWorkers::PushPass(tuner, s);
        } while (LoadAcquire(tuner->m_bRunning));
        if (s.connected)
            DisconnectNamedPipe(tuner->m_hPipe);
    }
    CancelPendingConnect(tuner->m_hPipe, s);
    CloseAndClear(s.connectEvent);
    return 0;
}

void PipeWorkers::CollectBlock(CBonTuner* tuner, PipeBlock* block)
{
    CloseAndClear(block->Overlapped.hEvent);
    StoreRelease(block->dwState, static_cast<DWORD>(BLOCK_READY));
    {
        CLockScope lock(tuner->m_csLock);
        tuner->m_pDoneBlock = block->pNext;
        --tuner->m_dwReadingCount;
        StoreRelease(tuner->m_dwReadyCount, tuner->m_dwReadyCount + 1);
    }
    SetEvent(tuner->m_hReadyEvent);
}

// Reads finish only at m_pDoneBlock, strictly in ring order.
void PipeWorkers::PopPass(CBonTuner* tuner)
{
    PipeBlock* block = tuner->m_pDoneBlock;
    if (LoadAcquire(block->dwState) != BLOCK_READING)
        return;
    if (!GetOverlappedResult(tuner->m_hPipe, &block->Overlapped, &block->dwBytes, FALSE)) {
        if (GetLastError() == ERROR_IO_INCOMPLETE) {
            Sleep(IDLE_SLEEP_MS);
            return;
        }
        block->dwBytes = 0;     // a failed read is handed out as an empty block
    }
    CollectBlock(tuner, block);
}

DWORD WINAPI PopIoThread(LPVOID param)
{
    CBonTuner* tuner = static_cast<CBonTuner*>(param);
    for (;;) {
        DWORD reading;
        {
            CLockScope lock(tuner->m_csLock);
            reading = tuner->m_dwReadingCount;
        }
        if (reading == 0)
            Sleep(IDLE_SLEEP_MS);
        else
            PipeWorkers::PopPass(tuner);
        if (!LoadAcquire(tuner->m_bRunning) && reading == 0)
            return 0;
    }
}
