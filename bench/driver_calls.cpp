#include "driver_calls.h"
#include <atomic>

namespace {

typedef LPVOID(WINAPI* HeapAllocProc)(HANDLE, DWORD, SIZE_T);
typedef HANDLE(WINAPI* CreateEventWProc)(LPSECURITY_ATTRIBUTES, BOOL, BOOL, LPCWSTR);

// The replacements are plain functions, so what they need lives at module scope.
std::atomic<long> g_heapAllocs{0};
std::atomic<long> g_eventsCreated{0};
HeapAllocProc g_originalHeapAlloc = nullptr;
CreateEventWProc g_originalCreateEvent = nullptr;

LPVOID WINAPI CountedHeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes)
{
    ++g_heapAllocs;
    return g_originalHeapAlloc(heap, flags, bytes);
}

HANDLE WINAPI CountedCreateEvent(LPSECURITY_ATTRIBUTES security, BOOL manual, BOOL initial, LPCWSTR name)
{
    ++g_eventsCreated;
    return g_originalCreateEvent(security, manual, initial, name);
}

}  // namespace

DriverCallCounter::DriverCallCounter(HMODULE driver)
{
    // The originals are known before the slots point at the counters.
    g_originalHeapAlloc = reinterpret_cast<HeapAllocProc>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "HeapAlloc")));
    g_originalCreateEvent = CreateEventW;
    m_heapAlloc.reset(new IatPatch(driver, "kernel32.dll", "HeapAlloc", reinterpret_cast<void*>(CountedHeapAlloc)));
    m_createEvent.reset(
        new IatPatch(driver, "kernel32.dll", "CreateEventW", reinterpret_cast<void*>(CountedCreateEvent)));
}

DriverCallCounter::~DriverCallCounter()
{
    m_heapAlloc.reset();
    m_createEvent.reset();
}

bool DriverCallCounter::Applied() const
{
    return m_heapAlloc->Applied() && m_createEvent->Applied();
}

void DriverCallCounter::Reset()
{
    g_heapAllocs = 0;
    g_eventsCreated = 0;
}

long DriverCallCounter::HeapAllocs() const
{
    return g_heapAllocs.load();
}

long DriverCallCounter::EventsCreated() const
{
    return g_eventsCreated.load();
}
