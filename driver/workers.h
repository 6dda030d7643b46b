// The two pipe I/O workers: push starts reads, pop collects them.
#pragma once
#include <windows.h>

class CBonTuner;

constexpr DWORD READY_HIGH_WATER = 70;  // this many ready blocks pause reading
constexpr DWORD PAUSE_PASSES = 25;
constexpr DWORD PAUSE_SLEEP_MS = 100;
constexpr DWORD MAX_READING = 16;
constexpr DWORD IDLE_SLEEP_MS = 10;
constexpr DWORD CONNECT_CANCEL_POLL_MS = 1;
constexpr ULONG_PTR STATUS_PENDING_VALUE = 0x103;   // OVERLAPPED::Internal while in progress

DWORD WINAPI PushIoThread(LPVOID tuner);
DWORD WINAPI PopIoThread(LPVOID tuner);
BOOL IssueRead(CBonTuner* tuner);

inline bool IsIoPending(const OVERLAPPED& record)
{
    return __atomic_load_n(&record.Internal, __ATOMIC_ACQUIRE) == STATUS_PENDING_VALUE;
}
