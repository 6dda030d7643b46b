// The soak's counts: hosts parked so that the feeder has every source closed,
// then the census of the feeder and of every host, and the probes for what
// may be left behind.
#include "feeder_soak.h"

#include <cstdio>

#include "feeder_bench.h"
#include "soak_probes.h"

namespace {

const double PARK_LIMIT_SECONDS = 30.0;
// The feeder closes a source at once when its host leaves; a cmd: program's
// end and Wine's freeing of what it held take a moment more.
const double PARK_SETTLE_SECONDS = 3.0;
// Noise allowances, end over start. The feeder with ten idle workers has a
// steady count; Wine's own thread pool (WinHTTP, sockets) may keep a few
// threads and their handles for a while, and the heap does not give every
// page back. One handle or thread lost per zap or per fault exceeds these
// within minutes.
const CensusAllowance FEEDER_ALLOWANCE = {24, 6, 16ull << 20};
const CensusAllowance HOST_ALLOWANCE = {12, 4, 8ull << 20};
const long FEEDER_LEAST_THREADS = 11;      // the main thread and ten channel workers
const long HOST_LEAST_THREADS = 1;
// Killed hosts are replaced; in a run of one fault kind few may live from one count to another.
const int  LEAST_HOSTS_COUNTED_TWICE = 1;
const wchar_t EMITTER_EXE[] = L"soak_emitter.exe";

} // namespace

bool FeederSoak::Park(const char* when, bool final)
{
    m_board->park = 1;
    const bool parked = WaitFor([this] {
        for (const HostProcess& host : m_hosts)
            if (!m_board->slots[host.slot].parked)
                return false;
        return true;
    }, PARK_LIMIT_SECONDS);
    if (!parked)
        Fail(std::string("the hosts did not leave their channels within 30 s, ") + when);
    Pause(PARK_SETTLE_SECONDS);
    const CensusFigures feeder = TakeCensus(m_feeder.Handle());
    if (final)
        m_feederEnd = feeder;
    else if (m_parks == 0)
        m_feederStart = feeder;
    m_parks += 1;
    m_lastPark = Now();
    std::printf("[soak] census %s: feeder %s\n", when, CensusText(feeder).c_str());
    for (const HostProcess& host : m_hosts) {
        const DWORD pid = GetProcessId(host.process->Handle());
        const CensusFigures figures = TakeCensus(host.process->Handle());
        m_hostFirst.emplace(pid, figures);
        m_hostLast[pid] = figures;
        m_hostCounts[pid] += 1;
        std::printf("[soak]   host %u (pid %lu): %s\n", host.slot, pid, CensusText(figures).c_str());
    }
    std::fflush(stdout);
    ProbeLeftovers(when);
    if (!final)
        m_board->park = 0;
    return parked;
}

// With every host gone from its channel: no cmd: program, no connection to a
// server, no UDP port held, no pipe.
void FeederSoak::ProbeLeftovers(const char* when)
{
    const std::string at = std::string(" ") + when;
    const int emitters = CountProcessesNamed(EMITTER_EXE);
    if (emitters != 0)
        Fail(std::to_string(emitters) + " cmd: programs still running" + at);
    for (const char* name : {"tcp", "http"}) {
        const int connections = CountConnectionsTo(m_peers.Port(name));
        if (connections != 0)
            Fail(std::to_string(connections) + " connections to the " + name + " server still open" + at
                 + (connections < 0 ? " (/proc/net/tcp unreadable)" : ""));
    }
    for (const char* name : {"udp", "rtp"}) {
        const int bound = CountUdpBound(m_peers.Port(name));
        if (bound != 0)
            Fail(std::to_string(bound) + " sockets still bound to the " + name + " port" + at
                 + (bound < 0 ? " (/proc/net/udp unreadable)" : ""));
    }
    const std::vector<uint32_t> pipes = ChannelsWithPipes();
    if (!pipes.empty())
        Fail("the pipe of channel " + std::to_string(pipes.front()) + " is still there" + at);
}

CpuMark FeederSoak::MarkCpu() const
{
    // Only the feeder's command line names the run's map; the soak's own names
    // the run and, with --feeder, the feeder's file as well.
    const UnixCpu cpu({"--map", m_options.runId});
    return CpuMark{Now(), cpu.FeederSeconds(), cpu.ServerSeconds()};
}

void FeederSoak::JudgeCensuses()
{
    for (const std::string& failure :
         JudgeCensus("the feeder", m_feederStart, m_feederEnd, FEEDER_ALLOWANCE, FEEDER_LEAST_THREADS))
        Fail(failure);
    int countedTwice = 0;
    for (const auto& last : m_hostLast) {
        if (m_hostCounts[last.first] < 2)
            continue;
        ++countedTwice;
        const std::string who = "host process " + std::to_string(last.first);
        for (const std::string& failure :
             JudgeCensus(who, m_hostFirst[last.first], last.second, HOST_ALLOWANCE, HOST_LEAST_THREADS))
            Fail(failure);
    }
    if (countedTwice < LEAST_HOSTS_COUNTED_TWICE)
        Fail("only " + std::to_string(countedTwice) + " host processes were counted after warm-up and at the end");
}
