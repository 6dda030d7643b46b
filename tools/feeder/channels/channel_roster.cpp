#include "channel_roster.h"

#include <algorithm>

#include "feeder_stop.h"
#include "system_error.h"

namespace {

void CloseAndClear(HANDLE& h)
{
    if (h != NULL)
        CloseHandle(h);
    h = NULL;
}

std::string ChangeLine(const MapChange& change)
{
    switch (change.kind) {
    case MapChangeKind::ADDED:
        return "added by " + change.after.origin + ": " + change.after.source->Text();
    case MapChangeKind::REMOVED:
        return "removed from the map (was " + change.before.source->Text() + "); a visit in progress ends and the"
               " channel stops";
    default:
        return "changed by " + change.after.origin + " from " + change.before.source->Text() + " to "
             + change.after.source->Text() + "; a visit in progress ends, the new source serves from the next";
    }
}

} // namespace

ChannelRoster::ChannelRoster(StatusBoard* board, const DriverGate* gate) : m_board(board), m_gate(gate)
{
    InitializeCriticalSection(&m_csLock);
}

ChannelRoster::~ChannelRoster()
{
    Stop(INFINITE);     // every worker uses the board and the gate: none may outlive the roster
    DeleteCriticalSection(&m_csLock);
}

bool ChannelRoster::Start(const std::vector<ChannelMapping>& mappings, std::string* why)
{
    EnterCriticalSection(&m_csLock);
    bool started = true;
    for (const ChannelMapping& mapping : mappings) {
        started = StartWorker(mapping, why);
        if (!started)
            break;
        m_mappings.push_back(mapping);
    }
    LeaveCriticalSection(&m_csLock);
    return started;
}

bool ChannelRoster::StartWorker(const ChannelMapping& mapping, std::string* why)
{
    Member member;
    member.channel = mapping.channel;
    member.hStop = CreateEventW(NULL, TRUE, FALSE, NULL);
    if (member.hStop != NULL) {
        member.worker.reset(new ChannelWorker(mapping, m_board, m_gate, member.hStop));
        if (member.worker->Start()) {
            m_running.push_back(std::move(member));
            return true;
        }
    }
    *why = "cannot start the worker of channel " + std::to_string(mapping.channel) + " ("
         + SystemErrorText(GetLastError()) + ")";
    member.worker.reset();
    CloseAndClear(member.hStop);
    return false;
}

void ChannelRoster::Apply(const std::vector<ChannelMapping>& mappings)
{
    EnterCriticalSection(&m_csLock);
    if (!m_bStopped) {
        for (const MapChange& change : DiffMaps(m_mappings, mappings))
            ApplyChange(change);
        m_mappings = mappings;
    }
    LeaveCriticalSection(&m_csLock);
    Reap();
}

void ChannelRoster::ApplyChange(const MapChange& change)
{
    m_board->Event(change.channel, ChangeLine(change));
    // A source still waiting for its channel's old worker to end is itself replaced.
    m_waiting.erase(std::remove_if(m_waiting.begin(), m_waiting.end(),
                                   [&](const ChannelMapping& m) { return m.channel == change.channel; }),
                    m_waiting.end());
    if (change.kind != MapChangeKind::ADDED)
        StopWorker(change.channel);
    if (change.kind != MapChangeKind::REMOVED)
        m_waiting.push_back(change.after);
}

void ChannelRoster::StopWorker(uint32_t channel)
{
    for (auto at = m_running.begin(); at != m_running.end(); ++at) {
        if (at->channel == channel) {
            SetEvent(at->hStop);
            m_stopping.push_back(std::move(*at));
            m_running.erase(at);
            return;
        }
    }
}

bool ChannelRoster::Reap()
{
    EnterCriticalSection(&m_csLock);
    for (auto at = m_stopping.begin(); at != m_stopping.end();) {
        if (!at->worker->Join(0)) {
            ++at;
            continue;
        }
        // Its last figures are in: the row can go to the summary, and a replacement have a new one.
        m_board->RetireRow(at->channel);
        at->worker.reset();
        CloseAndClear(at->hStop);
        at = m_stopping.erase(at);
    }
    if (!m_bStopped)
        StartWaiting();
    const bool stopping = !m_stopping.empty();
    LeaveCriticalSection(&m_csLock);
    return stopping;
}

bool ChannelRoster::StillStopping(uint32_t channel) const
{
    return std::any_of(m_stopping.begin(), m_stopping.end(), [channel](const Member& m) { return m.channel == channel; });
}

void ChannelRoster::StartWaiting()
{
    for (auto at = m_waiting.begin(); at != m_waiting.end();) {
        if (StillStopping(at->channel)) {
            ++at;
            continue;
        }
        m_board->AddRow(at->channel, at->source->Text());
        std::string why;
        if (!StartWorker(*at, &why)) {
            m_board->Event(at->channel, why + "; the channel is not fed");
            m_board->RetireRow(at->channel);
        }
        at = m_waiting.erase(at);
    }
}

bool ChannelRoster::Stop(DWORD boundMs)
{
    EnterCriticalSection(&m_csLock);
    m_bStopped = true;
    m_waiting.clear();
    std::vector<Member> members;
    members.swap(m_stopping);
    for (Member& member : m_running)
        members.push_back(std::move(member));
    m_running.clear();
    LeaveCriticalSection(&m_csLock);

    std::vector<std::unique_ptr<ChannelWorker>> workers;
    for (Member& member : members) {
        SetEvent(member.hStop);
        workers.push_back(std::move(member.worker));
    }
    const std::vector<ChannelWorker*> held = JoinWorkers(&workers, m_board, boundMs);
    // A worker still running waits on its event: the event must outlive it, as the worker does.
    for (Member& member : members) {
        const bool heldWorker = std::any_of(held.begin(), held.end(),
                                            [&](ChannelWorker* w) { return w->Channel() == member.channel; });
        if (!heldWorker)
            CloseAndClear(member.hStop);
    }
    return held.empty();
}

std::vector<ChannelMapping> ChannelRoster::Mappings()
{
    EnterCriticalSection(&m_csLock);
    const std::vector<ChannelMapping> mappings = m_mappings;
    LeaveCriticalSection(&m_csLock);
    return mappings;
}
