// Tells the channel workers when looking for pipes is worth it. While any channel
// of the driver is open, in any host, the driver's named mutex exists; only then
// can a channel's pipe exist. One thread looks for the mutex every 15 ms, so ten
// idle channels cost one cheap check instead of ten pipe opens and ten wake-ups.
#pragma once
#include <windows.h>

class DriverGate {
public:
    DriverGate() = default;
    ~DriverGate() { Join(); }
    DriverGate(const DriverGate&) = delete;
    DriverGate& operator=(const DriverGate&) = delete;

    bool Start(HANDLE hStop);
    // Signalled while a channel is open somewhere; workers wait on it.
    HANDLE ChannelOpenEvent() const { return m_hOpen; }
    void Join();

private:
    static DWORD WINAPI ThreadMain(void* self);
    void Run();

    HANDLE  m_hStop = NULL;
    HANDLE  m_hOpen = NULL;         // manual-reset; set and reset only by the gate's thread
    HANDLE  m_hThread = NULL;
};
