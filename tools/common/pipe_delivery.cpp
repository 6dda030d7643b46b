#include "pipe_delivery.h"

#include <winternl.h>

#include <cinttypes>
#include <cstdio>
#include <string>

namespace {

// FILE_PIPE_LOCAL_INFORMATION and its class number, which the SDK headers lack.
struct PipeLocalInformation {
    ULONG   NamedPipeType;
    ULONG   NamedPipeConfiguration;
    ULONG   MaximumInstances;
    ULONG   CurrentInstances;
    ULONG   InboundQuota;
    ULONG   ReadDataAvailable;
    ULONG   OutboundQuota;
    ULONG   WriteQuotaAvailable;
    ULONG   NamedPipeState;
    ULONG   NamedPipeEnd;
};
const ULONG FILE_PIPE_LOCAL_INFORMATION_CLASS = 24;
const size_t LINE_CAPACITY = 192;

typedef NTSTATUS (NTAPI *QueryInformationFileProc)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, ULONG);

QueryInformationFileProc QueryInformationFile()
{
    static const QueryInformationFileProc query = reinterpret_cast<QueryInformationFileProc>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationFile")));
    return query;
}

bool QueryPipe(HANDLE pipe, PipeLocalInformation* info)
{
    const QueryInformationFileProc query = QueryInformationFile();
    IO_STATUS_BLOCK status = {};
    return query != nullptr
        && NT_SUCCESS(query(pipe, &status, info, sizeof *info, FILE_PIPE_LOCAL_INFORMATION_CLASS));
}

} // namespace

uint64_t PipeDelivery::Unread(uint64_t accepted, bool known, uint32_t quota, uint32_t room)
{
    if (!known || quota == 0 || room > quota)
        return accepted;
    const uint64_t fill = quota - room;
    return fill < accepted ? fill : accepted;
}

void PipeDelivery::OnWritten(uint64_t size)
{
    m_accepted += size;
    PipeLocalInformation info = {};
    const bool known = QueryPipe(m_hPipe, &info);
    const uint64_t unread = Unread(m_accepted, known, info.OutboundQuota, info.WriteQuotaAvailable);
    // What was confirmed once stays confirmed, whatever a later answer says.
    if (m_accepted - unread > m_confirmed)
        m_confirmed = m_accepted - unread;
}

std::string FormatDeliveryLine(const PipeDelivery& delivery)
{
    char line[LINE_CAPACITY];
    std::snprintf(line, sizeof line,
                  "the pipe accepted %" PRIu64 " bytes; the reader took at least %" PRIu64
                  "; the last %" PRIu64 " may not have reached the host",
                  delivery.Accepted(), delivery.Confirmed(), delivery.Unconfirmed());
    return line;
}
