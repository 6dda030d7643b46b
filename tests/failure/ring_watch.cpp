#include "ring_watch.h"

namespace {

constexpr SIZE_T RING_BLOCKS = 86;
constexpr SIZE_T BLOCK_DATA_BYTES = 48128;
constexpr SIZE_T LEAST_RING_BYTES = RING_BLOCKS * BLOCK_DATA_BYTES;    // nothing else it frees comes near
constexpr BYTE POISON = 0xA5;

decltype(&HeapFree) g_heapFree = nullptr;
HANDLE g_heap = NULL;
BYTE* g_ring = nullptr;
SIZE_T g_ringBytes = 0;

BOOL WINAPI KeepRing(HANDLE heap, DWORD flags, LPVOID memory)
{
    const SIZE_T bytes = memory != nullptr ? HeapSize(heap, 0, memory) : 0;
    if (g_ring != nullptr || bytes == static_cast<SIZE_T>(-1) || bytes < LEAST_RING_BYTES)
        return g_heapFree(heap, flags, memory);
    FillMemory(memory, bytes, POISON);
    g_heap = heap;
    g_ringBytes = bytes;
    g_ring = static_cast<BYTE*>(memory);
    return TRUE;
}

}  // namespace

RingWatch::RingWatch(HMODULE driver) : m_patch(driver, "kernel32.dll", "HeapFree", reinterpret_cast<void*>(&KeepRing))
{
    g_ring = nullptr;
    g_heapFree = reinterpret_cast<decltype(&HeapFree)>(m_patch.Original());
}

RingWatch::~RingWatch()
{
    m_patch.Restore();
    if (g_ring != nullptr)
        g_heapFree(g_heap, 0, g_ring);
    g_ring = nullptr;
}

bool RingWatch::RingFreed() const
{
    return g_ring != nullptr;
}

bool RingWatch::Untouched() const
{
    for (SIZE_T i = 0; i < g_ringBytes; ++i)
        if (g_ring[i] != POISON)
            return false;
    return g_ring != nullptr;
}
