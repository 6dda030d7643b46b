// Handing ready blocks to the host.
#include "sync.h"
#include "tuner.h"

DWORD CBonTuner::WaitStream(DWORD timeoutMs)
{
    if (m_hReadyEvent == NULL || !LoadAcquire(m_bRunning))
        return WAIT_ABANDONED;
    const DWORD result = WaitForSingleObject(m_hReadyEvent, timeoutMs == 0 ? INFINITE : timeoutMs);
    switch (result) {
    case WAIT_OBJECT_0:
    case WAIT_TIMEOUT:
        return LoadAcquire(m_bRunning) ? result : WAIT_ABANDONED;
    case WAIT_ABANDONED:
        return WAIT_ABANDONED;
    default:
        return WAIT_FAILED;
    }
}

DWORD CBonTuner::QueryReadyCount()
{
    return LoadAcquire(m_dwReadyCount);
}

BOOL CBonTuner::TakeStream(BYTE** data, DWORD* size, DWORD* remaining)
{
    PipeBlock* block = LoadAcquire(m_pTakeBlock);
    if (block == NULL)
        return FALSE;
    if (LoadAcquire(m_dwReadyCount) == 0) {
        *size = 0;
        *remaining = 0;
        return TRUE;
    }
    if (LoadAcquire(block->dwState) != BLOCK_READY)
        return FALSE;
    *size = block->dwBytes;
    *data = block->Data;
    CLockScope lock(m_csLock);
    StoreRelease(m_pTakeBlock, block->pNext);
    StoreRelease(m_dwReadyCount, m_dwReadyCount - 1);
    *remaining = m_dwReadyCount;
    return TRUE;
}

BOOL CBonTuner::CopyStream(BYTE* dst, DWORD* size, DWORD* remaining)
{
    BYTE* block = NULL;
    if (!TakeStream(&block, size, remaining))
        return FALSE;
    if (*size != 0)
        CopyMemory(dst, block, *size);
    return TRUE;
}

void CBonTuner::PurgeStream()
{
    CLockScope lock(m_csLock);
    StoreRelease(m_pTakeBlock, m_pDoneBlock);
    StoreRelease(m_dwReadyCount, static_cast<DWORD>(0));
}
