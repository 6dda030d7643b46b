#include "soak_probes.h"

#include <tlhelp32.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "census.h"
#include "driver_module.h"
#include "private_bytes.h"
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

} // namespace

CensusFigures TakeCensus(HANDLE process)
{
    CensusFigures figures;
    const DWORD pid = GetProcessId(process);
    figures.handles = CountProcessHandles(pid);
    figures.threads = CountProcessThreads(pid);
    figures.privateBytes = CommittedPrivateBytes(process);
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
