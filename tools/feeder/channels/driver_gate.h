// Tells the channel workers when looking for pipes is worth it. While any channel
// of the driver is open in a host of this session, the driver's named mutex exists.
// One thread looks for the mutex every 15 ms, so ten idle channels cost one cheap
// check instead of ten pipe opens and ten wake-ups; the workers still look now and
// then without it, for hosts in other sessions, whose mutex is not seen here.
#pragma once
#include <windows.h>

class DriverGate {
public:
    DriverGate() = default;
    ~DriverGate() { Join(INFINITE); }
    DriverGate(const DriverGate&) = delete;
    DriverGate& operator=(const DriverGate&) = delete;

    bool Start(HANDLE hStop);
    // Signalled while a channel is open somewhere; workers wait on it.
    HANDLE ChannelOpenEvent() const { return m_hOpen; }
    // True once the thread has ended (the stop event set), waiting at most timeoutMs.
    bool Join(DWORD timeoutMs);

private:
    static DWORD WINAPI ThreadMain(void* self);
    void Run();

    HANDLE  m_hStop = NULL;
    HANDLE  m_hOpen = NULL;         // manual-reset; set and reset only by the gate's thread
    HANDLE  m_hThread = NULL;
};
