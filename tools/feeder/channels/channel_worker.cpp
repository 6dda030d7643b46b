#include "channel_worker.h"

#include <algorithm>
#include <cstdio>

#include "feeder_role.h"
#include "thread_join.h"

namespace {

const double BACKOFF_FIRST_SECONDS = 1.0;
const double BACKOFF_LAST_SECONDS = 10.0;
const double BACKOFF_FACTOR = 2.0;
const DWORD  DISCOVERY_POLL_MS = 15;    // a missing pipe cannot be waited for, only looked for
// The driver's mutex is named within the host's session, its pipes are not: a host
// in another session (a service, a task run without logon) shows no mutex here, so
// pipes are still looked for now and then while the gate is shut.
const DWORD  UNGATED_LOOK_MS = 250;
// A host that is closing its channel leaves the pipe busy for a moment; only a
// pipe busy for longer has another writer on it.
const double BUSY_REPORT_SECONDS = 0.5;
const double FOREVER_SECONDS = 1e9;

// The states the status page names as the channel's last trouble.
bool IsTrouble(ChannelState state)
{
    return state == ChannelState::SOURCE_DOWN || state == ChannelState::BUSY || state == ChannelState::DENIED;
}

} // namespace

ChannelWorker::ChannelWorker(const ChannelMapping& mapping, StatusBoard* board, const DriverGate* gate, HANDLE hStop)
    : m_channel(mapping.channel), m_config(mapping.source), m_board(board), m_gate(gate), m_hStop(hStop),
      m_pipe(mapping.channel), m_pump(&m_pipe, &m_ledger, hStop, [this] { Publish(); }),
      m_backoffSeconds(BACKOFF_FIRST_SECONDS)
{
}

ChannelWorker::~ChannelWorker()
{
    Join(INFINITE);     // the thread uses every member: none may go before it
}

bool ChannelWorker::Start()
{
    m_hThread = CreateThread(NULL, 0, ThreadMain, this, 0, NULL);
    return m_hThread != NULL;
}

bool ChannelWorker::Join(DWORD timeoutMs)
{
    return JoinThread(&m_hThread, timeoutMs);
}

DWORD WINAPI ChannelWorker::ThreadMain(void* self)
{
    static_cast<ChannelWorker*>(self)->Run();
    return 0;
}

void ChannelWorker::Run()
{
    const std::string prepared = m_config->Prepare(m_hStop);
    if (!prepared.empty())
        m_board->Event(m_channel, prepared);
    m_board->Event(m_channel, "watching for a host on " + m_config->Text());
    while (m_state != ChannelState::STOPPED) {
        std::string detail;
        const ChannelEvent event = Next(&detail);
        Move(event, detail);
    }
}

ChannelEvent ChannelWorker::Next(std::string* detail)
{
    switch (m_state) {
    case ChannelState::WATCHING:
    case ChannelState::BUSY:
    case ChannelState::DENIED:
        return Watch(detail);
    case ChannelState::CONNECTING:
    case ChannelState::RETRYING:
        return OpenSource(detail);
    case ChannelState::STREAMING:
        return Stream(detail);
    case ChannelState::ENDED:
        return m_pump.Watch(FOREVER_SECONDS, detail);
    case ChannelState::SOURCE_DOWN:
        return m_pump.Watch(std::max(0.0, m_figures.retryAt - m_board->Now()), detail);
    default:
        return ChannelEvent::STOP;
    }
}

ChannelEvent ChannelWorker::Watch(std::string* detail)
{
    double busySince = -1.0;
    const HANDLE waits[] = {m_hStop, m_gate->ChannelOpenEvent()};
    for (;;) {
        // No channel open in this session: sleep until there is one, or look now and then.
        if (WaitForMultipleObjects(ARRAYSIZE(waits), waits, FALSE, UNGATED_LOOK_MS) == WAIT_OBJECT_0)
            return ChannelEvent::STOP;
        switch (m_pipe.TryOpen()) {
        case PipeOpen::OPENED:
            m_ledger.VisitStarted(m_pipe.Handle());
            return ChannelEvent::HOST_FOUND;
        case PipeOpen::BUSY:
            if (busySince < 0.0)
                busySince = m_board->Now();
            if (m_state == ChannelState::WATCHING && m_board->Now() - busySince >= BUSY_REPORT_SECONDS)
                return ChannelEvent::PIPE_BUSY;
            break;
        case PipeOpen::DENIED:
            busySince = -1.0;
            // Said once: a line on every look would only repeat the advice.
            if (m_state != ChannelState::DENIED) {
                *detail = PipeDeniedAdvice(CurrentFeederRole());
                return ChannelEvent::PIPE_DENIED;
            }
            break;
        default:
            busySince = -1.0;
            if (m_state == ChannelState::BUSY || m_state == ChannelState::DENIED)
                return ChannelEvent::PIPE_FREE;
            break;
        }
        if (WaitForSingleObject(m_hStop, DISCOVERY_POLL_MS) == WAIT_OBJECT_0)
            return ChannelEvent::STOP;
    }
}

ChannelEvent ChannelWorker::OpenSource(std::string* detail)
{
    if (WaitForSingleObject(m_hStop, 0) == WAIT_OBJECT_0)
        return ChannelEvent::STOP;
    m_source = m_config->Create();
    if (m_source->Open())
        return ChannelEvent::SOURCE_OPENED;
    *detail = m_source->Error();
    return ChannelEvent::SOURCE_FAILED;
}

ChannelEvent ChannelWorker::Stream(std::string* detail)
{
    bool gotData = false;
    const ChannelEvent event = m_pump.Run(m_source.get(), detail, &gotData);
    if (gotData)
        m_backoffSeconds = BACKOFF_FIRST_SECONDS;   // it worked for a while: start counting anew
    return event;
}

void ChannelWorker::EndVisit()
{
    if (m_source) {
        m_source->Close();
        m_dropsBefore += m_source->DroppedPackets();
        m_source.reset();
    }
    if (m_pipe.IsOpen()) {
        m_pipe.Close();
        m_ledger.VisitEnded();
    }
}

// What entering a state does, in one place; returns the event line's detail.
std::string ChannelWorker::Enter(ChannelState from, ChannelState to, const std::string& detail)
{
    if (to == ChannelState::CONNECTING) {
        m_figures.visits += 1;
        m_pump.Reset();
        return "";
    }
    if (to == ChannelState::SOURCE_DOWN) {
        m_source->Close();
        m_dropsBefore += m_source->DroppedPackets();
        m_source.reset();
        m_figures.failures += 1;
        m_figures.detail = detail;
        m_figures.retryAt = m_board->Now() + m_backoffSeconds;
        char retry[64];
        std::snprintf(retry, sizeof retry, "; retrying in %.0f s", m_backoffSeconds);
        m_backoffSeconds = std::min(m_backoffSeconds * BACKOFF_FACTOR, BACKOFF_LAST_SECONDS);
        return detail + retry;
    }
    if ((to == ChannelState::WATCHING || to == ChannelState::STOPPED) && HoldsPipe(from)) {
        const uint64_t accepted = m_ledger.VisitAccepted();
        const uint64_t doubt = m_ledger.VisitInDoubt();
        EndVisit();
        m_backoffSeconds = BACKOFF_FIRST_SECONDS;
        return std::to_string(accepted - doubt) + " bytes delivered this visit, "
             + std::to_string(doubt) + " more accepted by the pipe but maybe not taken"
             + (detail.empty() ? "" : " (" + detail + ")");
    }
    return detail;
}

void ChannelWorker::Move(ChannelEvent event, std::string detail)
{
    const ChannelTransition* transition = FindTransition(m_state, event);
    if (transition == nullptr)
        return;
    const std::string said = Enter(m_state, transition->to, detail);
    m_state = transition->to;
    if (IsTrouble(m_state)) {
        m_figures.lastTrouble = std::string(transition->says) + (detail.empty() ? "" : ": " + detail);
        m_figures.troubleAt = m_board->Now();
    }
    Publish();
    m_board->Event(m_channel, std::string(transition->says) + (said.empty() ? "" : ": " + said));
}

void ChannelWorker::Publish()
{
    m_figures.state = m_state;
    m_figures.accepted = m_ledger.Delivered() + m_ledger.InDoubt() + m_ledger.VisitInDoubt();
    m_figures.delivered = m_ledger.Delivered();
    m_figures.inDoubt = m_ledger.InDoubt();
    m_figures.drops = m_dropsBefore + (m_source ? m_source->DroppedPackets() : 0);
    m_figures.skipped = m_pump.SkippedBytes();
    m_board->Publish(m_channel, m_figures);
    const std::string notice = m_source ? m_source->TakeNotice() : std::string();
    if (!notice.empty())
        m_board->Event(m_channel, notice);
}
