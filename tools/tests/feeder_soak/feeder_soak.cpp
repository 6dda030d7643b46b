#include "feeder_soak.h"

#include <cstdio>
#include <fstream>

#include "driver_module.h"
#include "feeder_streams.h"
#include "soak_probes.h"
#include "system_error.h"
#include "wide.h"

namespace {

// Hosts start, load the driver and make their first zaps; Wine makes what it
// makes on first use. Longer runs warm up longer, for a steadier first count.
const double WARM_UP_SECONDS = 20.0;
const double LONG_WARM_UP_SECONDS = 60.0;
const double LONG_RUN_SECONDS = 600.0;
const double PROGRESS_EVERY_SECONDS = 60.0;
// A host beats at every pass of its loop (every 10 ms); one silent this long is
// stuck in a driver call. A stall lasts at most 16 s.
const double HANG_SECONDS = 30.0;
const DWORD  TEND_EVERY_MS = 100;
const DWORD  HOST_EXIT_MS = 20000;
const double SECONDS_PER_MINUTE = 60.0;

std::wstring SoakExe(const wchar_t* name)
{
    return ProgramDirectory() + name;
}

std::string TempDirectory()
{
    wchar_t dir[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, dir);
    return Narrow(dir);
}

} // namespace

FeederSoak::FeederSoak(const SoakOptions& options)
    : m_options(options), m_random(options.seed)
{
}

bool FeederSoak::Setup(std::string* why)
{
    m_boardName = m_options.runId + "-board";
    if (!m_board.Create(m_boardName)) {
        *why = "cannot make the shared board (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    if (!m_peers.Connect(m_options.peers, why) || !MakeWorkFiles(why))
        return false;
    std::string seconds = std::to_string(static_cast<long long>(m_options.seconds));
    const std::string feeder = m_options.feeder.empty() ? ZELMOOR_FEEDER_EXE : m_options.feeder;
    if (!m_feeder.Start(feeder, {"--map", m_workDir + "channels.txt", "--seconds", seconds})) {
        *why = "cannot start the feeder (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    m_startedAt = Now();
    m_endAt = m_startedAt + m_options.seconds;
    m_lastProgress = m_startedAt;
    for (uint32_t slot = 0; slot < SOAK_HOSTS; ++slot) {
        m_hosts.push_back(HostProcess{slot, nullptr});
        if (!StartHost(slot)) {
            *why = "cannot start host " + std::to_string(slot) + " (error " + std::to_string(GetLastError()) + ")";
            return false;
        }
    }
    return true;
}

// The replaceable file's copy and the map, in a folder of the run's own.
bool FeederSoak::MakeWorkFiles(std::string* why)
{
    m_workDir = TempDirectory() + m_options.runId + "\\";
    CreateDirectoryW(Widen(m_workDir).c_str(), NULL);
    if (!CopyFileW(Widen(StreamPath("soak_ch4.ts")).c_str(), Widen(m_workDir + "channel4.ts").c_str(), FALSE)) {
        *why = "cannot copy the clip of channel 4 into " + m_workDir + ": " + SystemErrorText(GetLastError());
        return false;
    }
    std::ofstream map(m_workDir + "channels.txt");
    for (const std::string& line : FeederArgs())
        map << line << "\n";
    map.close();
    if (!map) {
        *why = "cannot write the map into " + m_workDir;
        return false;
    }
    return true;
}

// UDP waits 2 s for silence, so a pause of 4 s is trouble; TCP and HTTP see a
// killed server at once.
std::string FeederSoak::SourceOf(const SoakChannel& c) const
{
    const std::string n = std::to_string(c.channel);
    const std::string clip = StreamPath(("soak_ch" + n + ".ts").c_str());
    const std::string loopback = "127.0.0.1:";
    switch (c.kind) {
    case SoakSourceKind::FILE_LOOP:
        return "file:" + clip + "?loop";
    case SoakSourceKind::REPLACED_FILE:
        return "file:" + m_workDir + "channel4.ts?loop";
    case SoakSourceKind::UDP:
        return "udp://" + loopback + std::to_string(m_peers.Port("udp")) + "?timeout=2";
    case SoakSourceKind::RTP:
        return "udp://" + loopback + std::to_string(m_peers.Port("rtp")) + "?timeout=2";
    case SoakSourceKind::TCP:
        return "tcp://" + loopback + std::to_string(m_peers.Port("tcp"));
    case SoakSourceKind::HTTP:
        return "http://" + loopback + std::to_string(m_peers.Port("http")) + "/live.ts";
    case SoakSourceKind::CMD:
        return "cmd:\"" + Narrow(SoakExe(L"soak_emitter.exe")) + "\" \"" + clip + "\" " + m_options.runId + "-exit-" + n;
    }
    return "";
}

std::vector<std::string> FeederSoak::FeederArgs() const
{
    std::vector<std::string> map;
    for (const SoakChannel& c : SOAK_CHANNELS)
        map.push_back(std::to_string(c.channel) + "=" + SourceOf(c));
    return map;
}

bool FeederSoak::StartHost(uint32_t slot)
{
    HostProcess& host = m_hosts[slot];
    if (host.process)
        m_ended.push_back(std::move(host.process));
    host = HostProcess{slot, std::make_unique<ChildProcess>()};
    SlotBoard& board = m_board->slots[slot];
    board.beatUs = NowUs();
    board.call = 0;
    board.parked = 0;
    board.stallMs = 0;
    board.channel = -1;
    std::vector<std::string> args = {m_boardName, std::to_string(slot), std::to_string(m_options.seed)};
    for (uint32_t i = 0; i < CHANNELS_PER_HOST; ++i)
        args.push_back(std::to_string(slot * CHANNELS_PER_HOST + i));
    return host.process->Start(Narrow(SoakExe(L"soak_zap_host.exe")), args);
}

void FeederSoak::Fail(const std::string& what)
{
    std::printf("[soak] FAIL at %.1f s: %s\n", Now() - m_startedAt, what.c_str());
    std::fflush(stdout);
    m_failures.push_back(what);
}

void FeederSoak::Tend()
{
    if (!m_feederGone && WaitForSingleObject(m_feeder.Handle(), 0) == WAIT_OBJECT_0) {
        m_feederGone = true;
        if (Now() < m_endAt - 1.0)
            Fail("the feeder ended before its time");
    }
    for (HostProcess& host : m_hosts)
        TendHost(&host);
    if (Now() - m_lastProgress >= PROGRESS_EVERY_SECONDS) {
        m_lastProgress = Now();
        std::printf("[soak] %.0f min: %zu faults, %zu failures so far; feeder %s\n",
                    (Now() - m_startedAt) / SECONDS_PER_MINUTE, m_faults.size(), m_failures.size(),
                    CensusText(TakeCensus(m_feeder.Handle())).c_str());
        std::fflush(stdout);
    }
}

// The watchdog: a host that ended on its own or hangs in a call is a failure,
// and a new one takes its place so the soak goes on.
void FeederSoak::TendHost(HostProcess* host)
{
    if (host->expectedEnd || !host->process)
        return;
    DWORD code = 0;
    if (WaitForSingleObject(host->process->Handle(), 0) == WAIT_OBJECT_0) {
        GetExitCodeProcess(host->process->Handle(), &code);
        Fail("host " + std::to_string(host->slot) + " ended on its own, exit code " + std::to_string(code));
        StartHost(host->slot);
        return;
    }
    const SlotBoard& board = m_board->slots[host->slot];
    const double silent = UsToSeconds(NowUs() - board.beatUs);
    if (silent > HANG_SECONDS) {
        char text[160];
        std::snprintf(text, sizeof text, "watchdog: host %u stuck in %s for %.0f s (channel %ld)", host->slot,
                      HostCallName(board.call), silent, board.channel);
        Fail(text);
        TerminateProcess(host->process->Handle(), 1);
        WaitForSingleObject(host->process->Handle(), HOST_EXIT_MS);
        StartHost(host->slot);
    }
}

void FeederSoak::Pause(double seconds)
{
    const double until = Now() + seconds;
    while (Now() < until) {
        Tend();
        Sleep(TEND_EVERY_MS);
    }
}

bool FeederSoak::WaitFor(const std::function<bool()>& done, double seconds)
{
    const double until = Now() + seconds;
    while (!done()) {
        if (Now() >= until)
            return done();
        Tend();
        Sleep(TEND_EVERY_MS / 10);
    }
    return true;
}

bool FeederSoak::Run()
{
    std::printf("[soak] seed %llu (--seed %llu runs the same again), %.0f s, feeder pid %lu\n",
                static_cast<unsigned long long>(m_options.seed), static_cast<unsigned long long>(m_options.seed),
                m_options.seconds, GetProcessId(m_feeder.Handle()));
    for (const std::string& line : FeederArgs())
        std::printf("[soak]   %s\n", line.c_str());
    std::fflush(stdout);
    Pause(m_options.seconds >= LONG_RUN_SECONDS ? LONG_WARM_UP_SECONDS : WARM_UP_SECONDS);
    Park("after warm-up", false);
    m_cpuStart = MarkCpu();
    InjectFaults();
    Park("at the end", true);
    m_cpuEnd = MarkCpu();
    Finish();
    return m_failures.empty();
}
