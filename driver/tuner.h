// The module's one tuner object.
#pragma once
#include "IBonDriver.h"
#include "ring.h"

constexpr DWORD TUNING_SPACE_COUNT = 1;
constexpr DWORD CHANNEL_COUNT = 10;
constexpr DWORD NO_CHANNEL = 0xFFFFFFFF;
constexpr BYTE FIRST_CHANNEL_CODE = 13;
constexpr DWORD CHANNEL_NAME_CHARS = 32;
constexpr DWORD RESUME_FAILED = 0xFFFFFFFF;
constexpr DWORD WORKER_STOP_TIMEOUT_MS = 1000;
extern const WCHAR TUNER_NAME[];        // also the one tuning space's name
extern const WCHAR IN_USE_MUTEX_NAME[];

class CBonTuner : public IBonDriver2 {
public:
    // Non-throwing, so that a failed allocation can be seen and answered with null.
    static void* operator new(size_t bytes) noexcept;
    static void operator delete(void* p) noexcept;

    CBonTuner();
    virtual ~CBonTuner();

    BOOL OpenTuner() override;
    void CloseTuner() override;
    BOOL SetChannelCode(BYTE code) override;
    float QuerySignalLevel() override;
    DWORD WaitStream(DWORD timeoutMs) override;
    DWORD QueryReadyCount() override;
    BOOL TakeStream(BYTE** data, DWORD* size, DWORD* remaining) override;
    BOOL CopyStream(BYTE* dst, DWORD* size, DWORD* remaining) override;
    void PurgeStream() override;
    void ReleaseDriver() override;

    LPCWSTR QueryTunerName() override;
    BOOL IsTunerInUse() override;
    LPCWSTR EnumSpace(DWORD space) override;
    LPCWSTR EnumChannel(DWORD space, DWORD channel) override;
    BOOL SelectChannel(DWORD space, DWORD channel) override;
    DWORD QueryCurrentSpace() override;
    DWORD QueryCurrentChannel() override;

private:
    friend DWORD WINAPI PushIoThread(LPVOID tuner);
    friend DWORD WINAPI PopIoThread(LPVOID tuner);
    friend BOOL IssueRead(CBonTuner* tuner);
    friend struct PipeWorkers;  // the workers' passes
    friend class CTunerProbe;   // white-box tests

    DWORD OpenChannel(DWORD channel);
    DWORD StartWorkers();
    void Teardown();
    bool StopWorker(HANDLE& worker, LPCWSTR forcedLine);
    void RebuildLock();
    bool SettleReadsInFlight();
    void ResetRing();

    HANDLE              m_hInUseMutex;
    PipeBlock*          m_pRing;
    PipeBlock*          m_pWriteBlock;      // moved by the push worker
    PipeBlock*          m_pDoneBlock;       // moved by the pop worker
    PipeBlock*          m_pTakeBlock;       // moved by the host; read unlocked by the host
    DWORD               m_dwReadingCount;
    DWORD               m_dwReadyCount;     // raised by the pop worker, lowered by the host
    HANDLE              m_hPushIoThread;
    HANDLE              m_hPopIoThread;
    BOOL                m_bRunning;         // read unlocked by both workers
    HANDLE              m_hReadyEvent;
    CRITICAL_SECTION    m_csLock;           // guards the cursors and counters
    DWORD               m_dwCurSpace;
    DWORD               m_dwCurChannel;
    HANDLE              m_hPipe;
};

extern CBonTuner* g_pTunerInstance;
