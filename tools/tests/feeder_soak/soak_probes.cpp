#include "soak_probes.h"

#include <psapi.h>
#include <tlhelp32.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "census.h"
#include "driver_module.h"
#include "soak_layout.h"
#include "soak_proc_net.h"

namespace {

const char PROC_NET_TCP[] = "Z:\\proc\\net\\tcp";
const char PROC_NET_UDP[] = "Z:\\proc\\net\\udp";
const double MiB = 1024.0 * 1024.0;

std::vector<SocketLine> ReadSockets(const char* path, bool* readable)
{
    std::vector<SocketLine> sockets;
    std::ifstream in(path);
    *readable = in.good();
    std::string line;
    std::getline(in, line);     // the header
    while (std::getline(in, line)) {
        SocketLine s;
        if (ParseSocketLine(line, &s))
            sockets.push_back(s);
    }
    return sockets;
}

// Committed private memory by walking the process's address space, where Wine
// answers no private usage for another process.
uint64_t WalkCommittedPrivate(HANDLE process)
{
    uint64_t total = 0;
    MEMORY_BASIC_INFORMATION region;
    const BYTE* address = nullptr;
    while (VirtualQueryEx(process, address, &region, sizeof region) == sizeof region) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE)
            total += region.RegionSize;
        const BYTE* next = static_cast<const BYTE*>(region.BaseAddress) + region.RegionSize;
        if (next <= address)
            break;      // wrapped at the top of the address space
        address = next;
    }
    return total;
}

} // namespace

CensusFigures TakeCensus(HANDLE process)
{
    CensusFigures figures;
    const DWORD pid = GetProcessId(process);
    figures.handles = CountProcessHandles(pid);
    figures.threads = CountProcessThreads(pid);
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    if (GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters))
        figures.privateBytes = counters.PrivateUsage;
    if (figures.privateBytes == 0)
        figures.privateBytes = WalkCommittedPrivate(process);
    return figures;
}

std::string CensusText(const CensusFigures& f)
{
    char text[96];
    std::snprintf(text, sizeof text, "%ld handles, %ld threads, %.1f MiB private", f.handles, f.threads,
                  f.privateBytes / MiB);
    return text;
}

int CountProcessesNamed(const wchar_t* exeName)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return -1;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        count += _wcsicmp(entry.szExeFile, exeName) == 0 ? 1 : 0;
    CloseHandle(snapshot);
    return count;
}

int CountConnectionsTo(uint16_t port)
{
    bool readable = false;
    int count = 0;
    for (const SocketLine& s : ReadSockets(PROC_NET_TCP, &readable))
        count += s.remotePort == port && s.state == TCP_ESTABLISHED_STATE ? 1 : 0;
    return readable ? count : -1;
}

int CountUdpBound(uint16_t port)
{
    bool readable = false;
    int count = 0;
    for (const SocketLine& s : ReadSockets(PROC_NET_UDP, &readable))
        count += s.localPort == port ? 1 : 0;
    return readable ? count : -1;
}

std::vector<uint32_t> ChannelsWithPipes()
{
    std::vector<uint32_t> channels;
    for (uint32_t channel = 0; channel < SOAK_CHANNEL_COUNT; ++channel)
        if (PipeExists(channel))
            channels.push_back(channel);
    return channels;
}
