#include "pipe_local_state.h"

namespace {

// The system's own names, declared here: mingw-w64's headers lack the structure.
const int   FILE_PIPE_LOCAL_INFORMATION_CLASS = 24;
const ULONG PIPE_STATE_DISCONNECTED = 1;    // FILE_PIPE_DISCONNECTED_STATE
const ULONG PIPE_STATE_CLOSING = 4;         // FILE_PIPE_CLOSING_STATE
const wchar_t NTDLL[] = L"ntdll.dll";
const char    QUERY_FUNCTION[] = "NtQueryInformationFile";

struct PipeIoStatus {
    union {
        LONG    status;
        void*   pointer;
    };
    ULONG_PTR   information;
};

struct PipeLocalInformation {
    ULONG   namedPipeType;
    ULONG   namedPipeConfiguration;
    ULONG   maximumInstances;
    ULONG   currentInstances;
    ULONG   inboundQuota;
    ULONG   readDataAvailable;
    ULONG   outboundQuota;
    ULONG   writeQuotaAvailable;
    ULONG   namedPipeState;
    ULONG   namedPipeEnd;
};

typedef LONG (WINAPI *QueryInformationFile)(HANDLE, PipeIoStatus*, void*, ULONG, int);

// Resolved once; ntdll is in every process and never unloaded.
QueryInformationFile ResolveQuery()
{
    static const QueryInformationFile query = reinterpret_cast<QueryInformationFile>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(NTDLL), QUERY_FUNCTION)));
    return query;
}

} // namespace

bool PipeFarEndClosed(HANDLE pipe)
{
    const QueryInformationFile query = ResolveQuery();
    if (query == nullptr)
        return false;
    PipeIoStatus io = {};
    PipeLocalInformation info = {};
    if (query(pipe, &io, &info, sizeof info, FILE_PIPE_LOCAL_INFORMATION_CLASS) < 0)
        return false;   // an NTSTATUS error: say nothing rather than guess
    return info.namedPipeState == PIPE_STATE_CLOSING || info.namedPipeState == PIPE_STATE_DISCONNECTED;
}
