// Opening and closing a channel: pipe, ring, ready event, workers, in-use mutex.
#include "sync.h"
#include "tuner.h"
#include "workers.h"

namespace {

const WCHAR PIPE_NAME_FORMAT[] = L"\\\\.\\pipe\\Zelmoor%02lu";
const WCHAR PIPE_ERROR_LINE[] = L"Zelmoor: CBonTuner::OpenTuner() CreateNamedPipe error\n";
const WCHAR ERROR_STEP_FORMAT[] = L"Zelmoor: CBonTuner::OpenTuner() dwErrorStep = %lu\n";
const WCHAR PUSH_FORCED_LINE[] = L"Zelmoor: CBonTuner::CloseTuner() ::TerminateThread(m_hPushIoThread)\n";
const WCHAR POP_FORCED_LINE[] = L"Zelmoor: CBonTuner::CloseTuner() ::TerminateThread(m_hPopIoThread)\n";

constexpr DWORD PIPE_NAME_CHARS = 64;
constexpr DWORD LOG_LINE_CHARS = 128;
constexpr DWORD PIPE_OPEN_MODE = PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED;
constexpr DWORD PIPE_MODE = PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT;
constexpr DWORD PIPE_MAX_INSTANCES = 1;
constexpr DWORD PIPE_BUFFER_SIZE = BLOCK_DATA_SIZE;
constexpr DWORD PIPE_DEFAULT_TIMEOUT_MS = 3000;
constexpr DWORD FORCED_END_TIMEOUT_MS = 1000;   // TerminateThread does not finish synchronously
constexpr DWORD READ_SETTLE_TIMEOUT_MS = 1000;

enum : DWORD {
    OPENED = 0,
    STEP_CREATE_PIPE = 1,
    STEP_CREATE_EVENT = 2,
    STEP_CREATE_WORKER = 3,
    STEP_RESUME_WORKER = 4,
    STEP_CREATE_MUTEX = 5,
};

// For a worker that was never resumed: it holds nothing, so ending it quietly is safe.
void EndUnstartedWorker(HANDLE& worker)
{
    if (worker == NULL)
        return;
    TerminateThread(worker, 0);
    WaitForSingleObject(worker, FORCED_END_TIMEOUT_MS);
    CloseAndClear(worker);
}

HANDLE CreateSuspendedWorker(LPTHREAD_START_ROUTINE routine, CBonTuner* tuner)
{
    return CreateThread(NULL, 0, routine, tuner, CREATE_SUSPENDED, NULL);
}

}  // namespace

BOOL CBonTuner::SelectChannel(DWORD space, DWORD channel)
{
    if (space >= TUNING_SPACE_COUNT || channel >= CHANNEL_COUNT)
        return FALSE;
    CloseTuner();
    m_pRing = CreateRing(RING_BLOCKS);
    if (m_pRing == NULL)
        return FALSE;
    ResetRing();
    const DWORD failedStep = OpenChannel(channel);
    if (failedStep != OPENED) {
        WCHAR line[LOG_LINE_CHARS];
        wsprintfW(line, ERROR_STEP_FORMAT, failedStep);
        OutputDebugStringW(line);
        CloseTuner();
        return FALSE;
    }
    m_dwCurSpace = space;
    m_dwCurChannel = channel;
    PurgeStream();
    return TRUE;
}

// Yields the number of the step that failed, or OPENED.
DWORD CBonTuner::OpenChannel(DWORD channel)
{
    WCHAR pipeName[PIPE_NAME_CHARS];
    wsprintfW(pipeName, PIPE_NAME_FORMAT, channel);
    m_hPipe = CreateNamedPipeW(pipeName, PIPE_OPEN_MODE, PIPE_MODE, PIPE_MAX_INSTANCES,
                               PIPE_BUFFER_SIZE, PIPE_BUFFER_SIZE, PIPE_DEFAULT_TIMEOUT_MS, NULL);
    if (m_hPipe == INVALID_HANDLE_VALUE) {
        OutputDebugStringW(PIPE_ERROR_LINE);
        return STEP_CREATE_PIPE;
    }
    m_hReadyEvent = CreateEventW(NULL, FALSE, FALSE, NULL);
    if (m_hReadyEvent == NULL)
        return STEP_CREATE_EVENT;
    const DWORD workersStep = StartWorkers();
    if (workersStep != OPENED)
        return workersStep;
    m_hInUseMutex = CreateMutexW(NULL, TRUE, IN_USE_MUTEX_NAME);
    if (m_hInUseMutex == NULL)
        return STEP_CREATE_MUTEX;
    return OPENED;
}

DWORD CBonTuner::StartWorkers()
{
    m_hPushIoThread = CreateSuspendedWorker(PushIoThread, this);
    m_hPopIoThread = CreateSuspendedWorker(PopIoThread, this);
    if (m_hPushIoThread == NULL || m_hPopIoThread == NULL) {
        EndUnstartedWorker(m_hPushIoThread);
        EndUnstartedWorker(m_hPopIoThread);
        return STEP_CREATE_WORKER;
    }
    StoreRelease(m_bRunning, TRUE);
    // A worker left suspended is ended by CloseTuner's wait and forced end, and logged there.
    const bool pushResumed = ResumeThread(m_hPushIoThread) != RESUME_FAILED;
    const bool popResumed = ResumeThread(m_hPopIoThread) != RESUME_FAILED;
    return pushResumed && popResumed ? OPENED : STEP_RESUME_WORKER;
}

void CBonTuner::CloseTuner()
{
    Teardown();
}

// Shared by CloseTuner and the destructor; safe in any state, any number of times.
void CBonTuner::Teardown()
{
    StoreRelease(m_bRunning, FALSE);
    const bool pushForced = StopWorker(m_hPushIoThread, PUSH_FORCED_LINE);
    const bool popForced = StopWorker(m_hPopIoThread, POP_FORCED_LINE);
    if (pushForced || popForced)
        RebuildLock();
    const bool readsSettled = SettleReadsInFlight();
    CloseAndClear(m_hReadyEvent);
    CloseAndClear(m_hPipe, INVALID_HANDLE_VALUE);
    // A read the platform never gave back may still land in the ring: keep it alive then.
    if (readsSettled)
        FreeRing(m_pRing);
    m_pRing = NULL;
    ResetRing();
    m_dwCurSpace = 0;
    m_dwCurChannel = NO_CHANNEL;
    if (m_hInUseMutex != NULL) {
        ReleaseMutex(m_hInUseMutex);    // fails harmlessly when we were given it without ownership
        CloseAndClear(m_hInUseMutex);
    }
}

// Returns true when the worker had to be ended by force.
bool CBonTuner::StopWorker(HANDLE& worker, LPCWSTR forcedLine)
{
    if (worker == NULL)
        return false;
    const bool forced = WaitForSingleObject(worker, WORKER_STOP_TIMEOUT_MS) != WAIT_OBJECT_0;
    if (forced) {
        TerminateThread(worker, 0);
        OutputDebugStringW(forcedLine);
        WaitForSingleObject(worker, FORCED_END_TIMEOUT_MS);
    }
    CloseAndClear(worker);
    return forced;
}

// A thread killed inside m_csLock leaves it owned for ever. Both workers are gone
// and the host does not stream while it closes, so nobody else can be holding it.
void CBonTuner::RebuildLock()
{
    DeleteCriticalSection(&m_csLock);
    InitializeCriticalSection(&m_csLock);
}

// Reads may outlive the workers (started after the pop worker's last look, or
// left by a forced end). The ring must not be freed under them.
bool CBonTuner::SettleReadsInFlight()
{
    if (m_pRing == NULL)
        return true;
    if (m_hPipe != INVALID_HANDLE_VALUE) {
        // Nothing in flight is fine here: Windows answers ERROR_NOT_FOUND, Wine TRUE.
        CancelIoEx(m_hPipe, NULL);
    }
    bool settled = true;
    for (DWORD i = 0; i < RING_BLOCKS; ++i) {
        OVERLAPPED& record = m_pRing[i].Overlapped;
        if (record.hEvent == NULL)
            continue;
        if (IsIoPending(record) && WaitForSingleObject(record.hEvent, READ_SETTLE_TIMEOUT_MS) != WAIT_OBJECT_0)
            settled = false;
        CloseAndClear(record.hEvent);
    }
    return settled;
}

void CBonTuner::ResetRing()
{
    m_pWriteBlock = m_pRing;
    m_pDoneBlock = m_pRing;
    m_pTakeBlock = m_pRing;
    m_dwReadingCount = 0;
    m_dwReadyCount = 0;
}
