// The faults the soak injects, one at a time: the owning host is first told to
// hold the channel until data flows, then the fault, then the wait for the
// first data after the source (or host) is back.
#include "feeder_soak.h"

#include <algorithm>
#include <cstdio>

#include "feeder_streams.h"
#include "soak_probes.h"
#include "system_error.h"
#include "wide.h"

namespace {

const double FAULT_GAP_SECONDS = 1.0;           // between faults, bounded run
const double FAULT_GAP_SPREAD_SECONDS = 2.0;
const double LONG_FAULT_GAP_SECONDS = 10.0;     // between faults, long run
const double LONG_FAULT_GAP_SPREAD_SECONDS = 30.0;
const double LONG_RUN_SECONDS = 600.0;
// Long runs count in between as well: a trend, and hosts that replaced killed
// ones counted twice before the end.
const double COUNT_EVERY_SECONDS = 300.0;
// No fault starts this close to the end, and none waits past the second bound:
// the last count needs the feeder still running.
const double NO_NEW_FAULT_SECONDS = 40.0;
const double FAULT_DEADLINE_SECONDS = 20.0;
const double ARM_LIMIT_SECONDS = 20.0;
const double ARM_STREAMING_SECONDS = 1.0;
const LONG64 RECENT_DATA_US = 500000;
const double SERVER_DOWN_SECONDS = 3.0;
const double SENDER_PAUSE_SECONDS = 4.0;        // beyond the UDP channels' 2 s silence limit
// Every other stall is short, and the driver's ring takes it all; the other is
// long enough to fill the ring (70 blocks of 48,128 bytes before the driver
// stops reading: 11 s at 2.5 Mbit/s), so the feeder's writes wait on the host.
const LONG   SHORT_STALL_MS = 3000;
const LONG   LONG_STALL_MS = 14000;
const LONG   STALL_SPREAD_MS = 2000;
// The feeder's first retry comes after 1 s: data after a pause this long is new.
const LONG   SOURCE_GAP_MS = 500;
const double RECOVERY_EXTRA_SECONDS = 5.0;      // waited beyond the bound, to show the time it took
const double STALL_DONE_SECONDS = 30.0;
// After a stall the host stays a while, to see the stream go on in order: a
// feeder that dropped the host would be back only after the driver let go.
const double STALL_WATCH_SECONDS = 12.0;
const DWORD  HOST_EXIT_MS = 20000;
const wchar_t EMITTER_EXE[] = L"soak_emitter.exe";

const FaultPlan TARGETS[] = {
    {FaultKind::SERVER_KILLED, 5},  {FaultKind::SERVER_KILLED, 6},  {FaultKind::SENDER_PAUSED, 1},
    {FaultKind::SENDER_PAUSED, 3},  {FaultKind::PROGRAM_EXITED, 7}, {FaultKind::PROGRAM_EXITED, 9},
    {FaultKind::FILE_REPLACED, 4},  {FaultKind::HOST_KILLED, 0},    {FaultKind::HOST_KILLED, 2},
    {FaultKind::HOST_KILLED, 4},    {FaultKind::HOST_KILLED, 6},    {FaultKind::HOST_KILLED, 8},
    {FaultKind::HOST_STALLED, 0},   {FaultKind::HOST_STALLED, 2},   {FaultKind::HOST_STALLED, 4},
    {FaultKind::HOST_STALLED, 8},
};

} // namespace

void FeederSoak::InjectFaults()
{
    const bool longRun = m_options.seconds >= LONG_RUN_SECONDS;
    while (Now() < m_endAt - NO_NEW_FAULT_SECONDS) {
        for (const FaultPlan& plan : NextRound()) {
            if (Now() >= m_endAt - NO_NEW_FAULT_SECONDS)
                break;
            Inject(plan);
            if (longRun && Now() - m_lastPark >= COUNT_EVERY_SECONDS && Now() < m_endAt - NO_NEW_FAULT_SECONDS) {
                const std::string when = "at " + std::to_string(static_cast<int>((Now() - m_startedAt) / 60)) + " min";
                Park(when.c_str(), false);
            }
            const double spread = (m_random.Next() % 1000) / 1000.0;
            Pause(longRun ? LONG_FAULT_GAP_SECONDS + spread * LONG_FAULT_GAP_SPREAD_SECONDS
                          : FAULT_GAP_SECONDS + spread * FAULT_GAP_SPREAD_SECONDS);
        }
    }
}

// Every kind once (or the one asked for), in a seeded order, each on one of its channels.
std::vector<FaultPlan> FeederSoak::NextRound()
{
    std::vector<FaultPlan> round;
    for (int kind = 0; kind < FAULT_KINDS; ++kind) {
        if (m_options.onlyFault >= 0 && kind != m_options.onlyFault)
            continue;
        std::vector<FaultPlan> choices;
        for (const FaultPlan& plan : TARGETS)
            if (static_cast<int>(plan.kind) == kind)
                choices.push_back(plan);
        round.push_back(choices[m_random.Next() % choices.size()]);
    }
    for (size_t i = round.size(); i > 1; --i)
        std::swap(round[i - 1], round[m_random.Next() % i]);
    return round;
}

void FeederSoak::Inject(const FaultPlan& plan)
{
    std::printf("[soak] fault at %.1f s on channel %u: %s\n", Now() - m_startedAt, plan.channel, FaultName(plan.kind));
    std::fflush(stdout);
    if (!Arm(plan.channel)) {
        if (Now() < m_endAt - FAULT_DEADLINE_SECONDS)
            Fail("channel " + std::to_string(plan.channel) + ": no data within 20 s to break for: "
                 + FaultName(plan.kind));
        Release(plan.channel);
        return;
    }
    ProbeBeforeFault(plan);
    FaultRecord record;
    record.kind = plan.kind;
    record.channel = plan.channel;
    switch (plan.kind) {
    case FaultKind::SERVER_KILLED:  KillServer(&record); break;
    case FaultKind::SENDER_PAUSED:  PauseSender(&record); break;
    case FaultKind::PROGRAM_EXITED: EndProgram(&record); break;
    case FaultKind::FILE_REPLACED:  ReplaceFile(&record); break;
    case FaultKind::HOST_KILLED:    KillHost(&record); break;
    case FaultKind::HOST_STALLED:   StallHost(&record); break;
    }
    const bool measured = AwaitRecovery(&record);
    if (measured && plan.kind == FaultKind::HOST_STALLED)
        Pause(std::min(STALL_WATCH_SECONDS, m_endAt - FAULT_DEADLINE_SECONDS - Now()));
    Release(plan.channel);
    if (!measured) {
        std::printf("[soak]   cut short by the end of the run; not counted\n");
        return;
    }
    m_faults.push_back(record);
    if (record.recoveredAt > 0.0)
        std::printf("[soak]   data again %.2f s after the source was back\n", record.recoveredAt - record.restoredAt);
    else
        std::printf("[soak]   no data again within %.0f s\n", RecoveryBound(record.kind) + RECOVERY_EXTRA_SECONDS);
    std::fflush(stdout);
}

// The owning host goes to the channel and stays there until data has flowed a while.
bool FeederSoak::Arm(uint32_t channel)
{
    ChannelBoard& board = m_board->channels[channel];
    board.restoredUs = 0;
    board.recoveredUs = 0;
    board.minGapMs = 0;
    board.rezap = 0;
    board.hold = 1;
    const SlotBoard& slot = m_board->slots[HostOf(channel)];
    auto flowing = [&] { return slot.channel == LONG(channel) && NowUs() - board.lastDataUs < RECENT_DATA_US; };
    const double limit = std::min(ARM_LIMIT_SECONDS, m_endAt - FAULT_DEADLINE_SECONDS - Now());
    if (!WaitFor(flowing, limit))
        return false;
    Pause(ARM_STREAMING_SECONDS);
    return flowing();
}

void FeederSoak::Release(uint32_t channel)
{
    ChannelBoard& board = m_board->channels[channel];
    board.hold = 0;
    board.restoredUs = 0;
    board.minGapMs = 0;
}

bool FeederSoak::AwaitRecovery(FaultRecord* record)
{
    ChannelBoard& board = m_board->channels[record->channel];
    const double deadline = m_endAt - FAULT_DEADLINE_SECONDS;
    if (!WaitFor([&] { return board.restoredUs != 0; }, std::min(STALL_DONE_SECONDS, deadline - Now())))
        return false;
    record->restoredAt = UsToSeconds(board.restoredUs);
    const double limit = record->restoredAt + RecoveryBound(record->kind) + RECOVERY_EXTRA_SECONDS;
    const bool recovered = WaitFor([&] { return board.recoveredUs != 0; }, std::min(limit, deadline) - Now());
    if (!recovered && Now() < limit)
        return false;
    record->recoveredAt = recovered ? UsToSeconds(board.recoveredUs) : 0.0;
    return true;
}

// A peer taken down for `seconds` and brought back; the channel's recovery counts from its return.
void FeederSoak::PeerOutage(FaultRecord* record, const std::string& down, const std::string& up, double seconds)
{
    std::string answer;
    record->injectedAt = Now();
    if (!m_peers.Command(down, &answer))
        Fail("soak_peers.py could not '" + down + "': " + answer);
    Pause(seconds);
    ChannelBoard& board = m_board->channels[record->channel];
    board.minGapMs = SOURCE_GAP_MS;
    board.restoredUs = NowUs();
    if (!m_peers.Command(up, &answer))
        Fail("soak_peers.py could not '" + up + "': " + answer);
}

void FeederSoak::KillServer(FaultRecord* record)
{
    const std::string name = KindOf(record->channel) == SoakSourceKind::TCP ? "tcp" : "http";
    PeerOutage(record, "kill " + name, "start " + name, SERVER_DOWN_SECONDS);
}

void FeederSoak::PauseSender(FaultRecord* record)
{
    const std::string name = KindOf(record->channel) == SoakSourceKind::UDP ? "udp" : "rtp";
    PeerOutage(record, "pause " + name, "resume " + name, SENDER_PAUSE_SECONDS);
}

// The program ends at once; the feeder is to start it again.
void FeederSoak::EndProgram(FaultRecord* record)
{
    const std::string name = m_options.runId + "-exit-" + std::to_string(record->channel);
    HANDLE told = OpenEventW(EVENT_MODIFY_STATE, FALSE, Widen(name).c_str());
    ChannelBoard& board = m_board->channels[record->channel];
    board.minGapMs = SOURCE_GAP_MS;
    record->injectedAt = Now();
    board.restoredUs = NowUs();
    if (told == NULL) {
        Fail("no running cmd: program on channel " + std::to_string(record->channel) + " to end");
        return;
    }
    SetEvent(told);
    CloseHandle(told);
}

// Another clip of the same PIDs takes the file's place while the feeder reads
// it: the file in use is renamed aside (its reader keeps it), as Windows
// refuses to replace a name that has open handles; the host then comes back
// to the channel, which opens the new file.
void FeederSoak::ReplaceFile(FaultRecord* record)
{
    const char* clip = ++m_replaceVersion % 2 == 1 ? "soak_ch4_alt.ts" : "soak_ch4.ts";
    const std::wstring fresh = Widen(m_workDir + "channel4.new");
    const std::wstring aside = Widen(m_workDir + "channel4.old" + std::to_string(m_replaceVersion));
    const std::wstring inUse = Widen(m_workDir + "channel4.ts");
    record->injectedAt = Now();
    if (!CopyFileW(Widen(StreamPath(clip)).c_str(), fresh.c_str(), FALSE) || !MoveFileW(inUse.c_str(), aside.c_str())
        || !MoveFileW(fresh.c_str(), inUse.c_str())) {
        const DWORD error = GetLastError();
        Fail("cannot replace channel 4's file while the feeder reads it: " + SystemErrorText(error));
    }
    // Gone once the feeder closes it.
    DeleteFileW(aside.c_str());
    m_board->channels[record->channel].rezap = 1;
}

void FeederSoak::KillHost(FaultRecord* record)
{
    HostProcess& host = m_hosts[HostOf(record->channel)];
    host.expectedEnd = true;
    TerminateProcess(host.process->Handle(), 1);
    WaitForSingleObject(host.process->Handle(), HOST_EXIT_MS);
    record->injectedAt = Now();
    ChannelBoard& board = m_board->channels[record->channel];
    board.restoredUs = NowUs();
    if (!StartHost(host.slot))
        Fail("cannot start a host in place of the killed one (error " + std::to_string(GetLastError()) + ")");
}

void FeederSoak::StallHost(FaultRecord* record)
{
    const LONG ms = (++m_stalls % 2 == 1 ? SHORT_STALL_MS : LONG_STALL_MS)
                  + static_cast<LONG>(m_random.Next() % STALL_SPREAD_MS);
    m_board->channels[record->channel].minGapMs = ms / 2;
    record->injectedAt = Now();
    m_board->slots[HostOf(record->channel)].stallMs = ms;
}

// The leftover probes must see what they look for while it is there, or their
// "nothing left" at the counts would mean nothing.
void FeederSoak::ProbeBeforeFault(const FaultPlan& plan)
{
    std::string note;
    int seen = 1;
    const SoakSourceKind kind = KindOf(plan.channel);
    if (plan.kind == FaultKind::SERVER_KILLED) {
        const char* name = kind == SoakSourceKind::TCP ? "tcp" : "http";
        seen = CountConnectionsTo(m_peers.Port(name));
        note = std::string("connections to the streaming ") + name + " server";
    } else if (plan.kind == FaultKind::SENDER_PAUSED) {
        seen = CountUdpBound(m_peers.Port(kind == SoakSourceKind::UDP ? "udp" : "rtp"));
        note = "sockets bound to the streaming UDP port";
    } else if (plan.kind == FaultKind::PROGRAM_EXITED) {
        seen = CountProcessesNamed(EMITTER_EXE);
        note = "running cmd: programs";
    }
    if (seen < 1)
        Fail("the leftover probe sees no " + note + " while the channel streams: its 'none left' would mean nothing");
    else if (!note.empty())
        m_probeNotes.insert(note + ": " + std::to_string(seen));
    const std::vector<uint32_t> pipes = ChannelsWithPipes();
    if (std::find(pipes.begin(), pipes.end(), plan.channel) == pipes.end())
        Fail("the pipe probe does not see channel " + std::to_string(plan.channel) + "'s pipe while a host holds it");
}
