#include "ring.h"

PipeBlock* CreateRing(DWORD count)
{
    if (count == 0)
        return NULL;
    // The size is computed in SIZE_T and checked, so no count can wrap it.
    const SIZE_T maxCount = ~static_cast<SIZE_T>(0) / sizeof(PipeBlock);
    if (static_cast<SIZE_T>(count) > maxCount)
        return NULL;
    const SIZE_T bytes = static_cast<SIZE_T>(count) * sizeof(PipeBlock);
    PipeBlock* ring = static_cast<PipeBlock*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, bytes));
    if (ring == NULL)
        return NULL;
    for (DWORD i = 0; i + 1 < count; ++i)
        ring[i].pNext = &ring[i + 1];
    ring[count - 1].pNext = &ring[0];
    return ring;
}

void FreeRing(PipeBlock* ring)
{
    if (ring != NULL)
        HeapFree(GetProcessHeap(), 0, ring);
}
