#include "census.h"
#include <tlhelp32.h>
#include <vector>

namespace {

constexpr ULONG SYSTEM_HANDLE_INFORMATION = 16;
constexpr LONG STATUS_INFO_LENGTH_MISMATCH = static_cast<LONG>(0xC0000004);

struct HandleEntry {
    USHORT ProcessId;
    USHORT CreatorBackTraceIndex;
    UCHAR ObjectTypeIndex;
    UCHAR HandleAttributes;
    USHORT Handle;
    PVOID Object;
    ULONG GrantedAccess;
};

struct HandleTable {
    ULONG Count;
    HandleEntry Entries[1];
};

typedef LONG(WINAPI* QuerySystemInformation)(ULONG, PVOID, ULONG, PULONG);

}  // namespace

long CountOwnHandles()
{
    return CountProcessHandles(GetCurrentProcessId());
}

long CountProcessHandles(DWORD pid)
{
    auto query = reinterpret_cast<QuerySystemInformation>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation"));
    if (query == nullptr)
        return -1;
    std::vector<BYTE> buffer(1 << 16);
    LONG status;
    ULONG needed = 0;
    while ((status = query(SYSTEM_HANDLE_INFORMATION, buffer.data(), static_cast<ULONG>(buffer.size()), &needed))
           == STATUS_INFO_LENGTH_MISMATCH)
        buffer.resize(buffer.size() * 2);
    if (status < 0)
        return -1;
    const HandleTable* table = reinterpret_cast<const HandleTable*>(buffer.data());
    const USHORT self = static_cast<USHORT>(pid);
    long count = 0;
    for (ULONG i = 0; i < table->Count; ++i)
        count += table->Entries[i].ProcessId == self;
    return count;
}

::testing::AssertionResult Counted(long handles, long threads)
{
    // A running test program holds handles and has at least its own thread.
    if (handles > 0 && threads > 0)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "the census failed: " << handles << " handles, " << threads << " threads";
}

long CountOwnThreads()
{
    return CountProcessThreads(GetCurrentProcessId());
}

long CountProcessThreads(DWORD pid)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return -1;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    long count = 0;
    const DWORD self = pid;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        count += entry.th32OwnerProcessID == self;
    CloseHandle(snapshot);
    return count;
}
