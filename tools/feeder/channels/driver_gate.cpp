#include "driver_gate.h"

#include "thread_join.h"

namespace {

const wchar_t IN_USE_MUTEX[] = L"Zelmoor";
const DWORD   LOOK_INTERVAL_MS = 15;

} // namespace

bool DriverGate::Start(HANDLE hStop)
{
    m_hStop = hStop;
    m_hOpen = CreateEventW(NULL, TRUE, FALSE, NULL);
    if (m_hOpen == NULL)
        return false;
    m_hThread = CreateThread(NULL, 0, ThreadMain, this, 0, NULL);
    return m_hThread != NULL;
}

bool DriverGate::Join(DWORD timeoutMs)
{
    if (!JoinThread(&m_hThread, timeoutMs))
        return false;   // the thread still sets m_hOpen: it stays
    if (m_hOpen != NULL) {
        CloseHandle(m_hOpen);
        m_hOpen = NULL;
    }
    return true;
}

DWORD WINAPI DriverGate::ThreadMain(void* self)
{
    static_cast<DriverGate*>(self)->Run();
    return 0;
}

void DriverGate::Run()
{
    do {
        HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, IN_USE_MUTEX);
        if (mutex != NULL) {
            CloseHandle(mutex);
            SetEvent(m_hOpen);
        } else {
            ResetEvent(m_hOpen);
        }
    } while (WaitForSingleObject(m_hStop, LOOK_INTERVAL_MS) == WAIT_TIMEOUT);
    SetEvent(m_hOpen);  // no worker may stay blocked on the gate once the feeder stops
}
