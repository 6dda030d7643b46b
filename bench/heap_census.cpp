#include "heap_census.h"
#include <windows.h>

namespace {

constexpr DWORD MAX_HEAPS = 64;

void CountHeap(HANDLE heap, HeapCensus& census)
{
    if (!HeapLock(heap)) {
        census.ok = false;
        return;
    }
    PROCESS_HEAP_ENTRY entry = {};
    while (HeapWalk(heap, &entry)) {
        if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) {
            ++census.busyBlocks;
            census.busyBytes += entry.cbData;
        }
    }
    HeapUnlock(heap);
}

}  // namespace

HeapCensus TakeHeapCensus()
{
    HeapCensus census = {true, 0, 0};
    HANDLE heaps[MAX_HEAPS];
    const DWORD count = GetProcessHeaps(MAX_HEAPS, heaps);
    if (count == 0 || count > MAX_HEAPS)
        return {false, 0, 0};
    for (DWORD i = 0; i < count; ++i)
        CountHeap(heaps[i], census);
    return census;
}
