// The tuner object's life, its simple operations, the module entry and the export.
#include "tuner.h"

const WCHAR TUNER_NAME[] = L"UDP/Compat";
const WCHAR IN_USE_MUTEX_NAME[] = L"Zelmoor";
static const WCHAR CHANNEL_NAME_FORMAT[] = L"Pipe\x756A\x53F7 %lu";

CBonTuner* g_pTunerInstance = NULL;
static WCHAR g_szChannelName[CHANNEL_NAME_CHARS];

void* CBonTuner::operator new(size_t bytes) noexcept
{
    return HeapAlloc(GetProcessHeap(), 0, bytes);
}

void CBonTuner::operator delete(void* p) noexcept
{
    if (p != NULL)
        HeapFree(GetProcessHeap(), 0, p);
}

CBonTuner::CBonTuner()
    : m_hInUseMutex(NULL), m_pRing(NULL), m_pWriteBlock(NULL), m_pDoneBlock(NULL),
      m_pTakeBlock(NULL), m_dwReadingCount(0), m_dwReadyCount(0), m_hPushIoThread(NULL),
      m_hPopIoThread(NULL), m_bRunning(FALSE), m_hReadyEvent(NULL), m_dwCurSpace(0),
      m_dwCurChannel(NO_CHANNEL), m_hPipe(INVALID_HANDLE_VALUE)
{
    g_pTunerInstance = this;
    InitializeCriticalSection(&m_csLock);
}

CBonTuner::~CBonTuner()
{
    Teardown();
    DeleteCriticalSection(&m_csLock);
    g_pTunerInstance = NULL;
}

BOOL CBonTuner::OpenTuner()
{
    return TRUE;
}

BOOL CBonTuner::SetChannelCode(BYTE code)
{
    // Unsigned wrap turns every code below 13 into a channel the range check refuses.
    return SelectChannel(0, static_cast<DWORD>(code) - FIRST_CHANNEL_CODE);
}

float CBonTuner::QuerySignalLevel()
{
    return 0.0f;
}

void CBonTuner::ReleaseDriver()
{
    delete this;
}

LPCWSTR CBonTuner::QueryTunerName()
{
    return TUNER_NAME;
}

BOOL CBonTuner::IsTunerInUse()
{
    HANDLE mutex = OpenMutexW(MUTEX_ALL_ACCESS, FALSE, IN_USE_MUTEX_NAME);
    if (mutex == NULL)
        return FALSE;
    CloseHandle(mutex);
    return TRUE;
}

LPCWSTR CBonTuner::EnumSpace(DWORD space)
{
    return space < TUNING_SPACE_COUNT ? TUNER_NAME : NULL;
}

LPCWSTR CBonTuner::EnumChannel(DWORD space, DWORD channel)
{
    if (space >= TUNING_SPACE_COUNT || channel >= CHANNEL_COUNT)
        return NULL;
    wsprintfW(g_szChannelName, CHANNEL_NAME_FORMAT, channel);
    return g_szChannelName;
}

DWORD CBonTuner::QueryCurrentSpace()
{
    return m_dwCurSpace;
}

DWORD CBonTuner::QueryCurrentChannel()
{
    return m_dwCurChannel;
}

extern "C" __declspec(dllexport) IBonDriver* CreateBonDriver()
{
    if (g_pTunerInstance != NULL)
        return g_pTunerInstance;
    return new CBonTuner;   // null when the allocation fails
}

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_DETACH && g_pTunerInstance != NULL)
        g_pTunerInstance->ReleaseDriver();
    return TRUE;
}
