#include "private_bytes.h"
#include <psapi.h>

namespace {

SIZE_T CountedPrivateBytes(HANDLE process)
{
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof(counters);
    if (!GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof(counters)))
        return 0;
    return counters.PrivateUsage;
}

SIZE_T WalkCommittedPrivate(HANDLE process)
{
    SIZE_T total = 0;
    MEMORY_BASIC_INFORMATION region;
    const BYTE* address = nullptr;
    while (VirtualQueryEx(process, address, &region, sizeof(region)) == sizeof(region)) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE)
            total += region.RegionSize;
        const BYTE* next = static_cast<const BYTE*>(region.BaseAddress) + region.RegionSize;
        if (next <= address)
            break;      // wrapped at the top of the address space
        address = next;
    }
    return total;
}

}  // namespace

SIZE_T CommittedPrivateBytes(HANDLE process)
{
    const SIZE_T counted = CountedPrivateBytes(process);
    return counted != 0 ? counted : WalkCommittedPrivate(process);
}
