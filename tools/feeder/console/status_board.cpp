#include "status_board.h"

#include <algorithm>
#include <cstdio>
#include <deque>

#include "status_formats.h"
#include "url_password.h"

namespace {

const double BITS_PER_BYTE = 8.0;
const double MEGA = 1e6;
const size_t MAX_QUEUED_EVENTS = 1000;  // while output is blocked; later ones are counted, not kept
const DWORD  WRITER_STOP_MS = 5000;     // for the queue to be written before the summary
const int    STATE_COLUMNS = 19;        // the usual states fit; a longer one pushes the rest right

// Queued lines carry the date for the log; the console and output show the time alone.
std::string WithoutDate(const std::string& dated)
{
    return dated.substr(LOG_DATE_PREFIX_CHARS);
}

// The feeder's own processor time so far, user and kernel, in seconds.
double ProcessCpuSeconds()
{
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user))
        return 0.0;
    const double HUNDRED_NS_PER_SECOND = 1e7;
    const auto value = [](const FILETIME& t) { return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    return static_cast<double>(value(kernel) + value(user)) / HUNDRED_NS_PER_SECOND;
}

std::string StateText(const ChannelFigures& f, double secondsNow)
{
    std::string state = StateName(f.state);
    if (f.state == ChannelState::SOURCE_DOWN) {
        const double left = f.retryAt - secondsNow;
        state += ", retry in " + std::to_string(left > 0.0 ? static_cast<int>(left + 0.5) : 0) + " s";
    }
    return state;
}

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    if (start < text.size())
        lines.push_back(text.substr(start));
    return lines;
}

// When the feeder started, in ISO 8601 (UTC), for the status page.
std::string StartedText()
{
    SYSTEMTIME t;
    GetSystemTime(&t);
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02uZ", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                  t.wSecond);
    return text;
}

void WriteOut(const std::string& text)
{
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

} // namespace

BoardRowText StatusRowText(uint32_t channel, const ChannelFigures& figures, double bitsPerSecond,
                           double secondsNow, const std::string& source)
{
    const std::string state = StateText(figures, secondsNow);
    const double megabits = bitsPerSecond / MEGA;
    char fixed[160];
    std::snprintf(fixed, sizeof fixed, "%2u %-*s %6.2f Mbit/s %8.1f MB drops %llu", channel, STATE_COLUMNS,
                  state.c_str(), megabits, static_cast<double>(figures.accepted) / MEGA,
                  static_cast<unsigned long long>(figures.drops));
    char brief[96];
    std::snprintf(brief, sizeof brief, " %u %s %.2f Mbit/s", channel, state.c_str(), megabits);
    std::string fixedText = fixed;
    if (figures.skipped > 0)
        fixedText += " skipped " + std::to_string(figures.skipped) + " B";
    const bool down = figures.state == ChannelState::SOURCE_DOWN;
    return BoardRowText{fixedText, brief, source, down ? figures.detail : std::string()};
}

struct StatusBoard::Shared {
    explicit Shared(std::unique_ptr<BoardScreen> givenScreen) : screen(std::move(givenScreen))
    {
        InitializeCriticalSection(&lock);
    }
    ~Shared()
    {
        if (hWake != NULL)
            CloseHandle(hWake);
        DeleteCriticalSection(&lock);
    }
    Shared(const Shared&) = delete;
    Shared& operator=(const Shared&) = delete;

    mutable CRITICAL_SECTION        lock;               // rows, retired, queued, recent, droppedEvents, stopping
    Stopwatch                       clock;
    std::vector<Row>                rows;               // in channel order
    std::vector<Row>                retired;            // rows of channels a map change took away
    std::vector<std::string>        queued;             // event lines not yet written, dated
    std::deque<std::string>         recent;             // the latest event lines, dated, for the status page
    const std::string               started = StartedText();
    uint64_t                        droppedEvents = 0;
    bool                            stopping = false;
    std::unique_ptr<BoardScreen>    screen;             // the writer's while it runs
    BoardRedraw                     redraw;             // the writer's while it runs
    HANDLE                          hWake = NULL;       // auto-reset: something to write
    std::unique_ptr<LogFile>        log;                // the writer's while it runs; may be null
};

StatusBoard::StatusBoard(const std::vector<ChannelMapping>& mappings, std::unique_ptr<BoardScreen> screen)
    : m_shared(std::make_shared<Shared>(std::move(screen)))
{
    for (const ChannelMapping& mapping : mappings)
        m_shared->rows.push_back(Row{mapping.channel, mapping.source->Text(), ChannelFigures{}});
}

StatusBoard::~StatusBoard()
{
    // A writer still stuck on blocked output keeps what it shares alive by itself.
    if (!StopWriter())
        CloseHandle(m_hWriter);
}

double StatusBoard::Now() const
{
    return m_shared->clock.Seconds();
}

void StatusBoard::SetLog(std::unique_ptr<LogFile> log)
{
    m_shared->log = std::move(log);
}

bool StatusBoard::Start()
{
    m_shared->hWake = CreateEventW(NULL, FALSE, FALSE, NULL);
    if (m_shared->hWake == NULL)
        return false;
    std::shared_ptr<Shared>* forWriter = new std::shared_ptr<Shared>(m_shared);
    m_hWriter = CreateThread(NULL, 0, WriterMain, forWriter, 0, NULL);
    if (m_hWriter == NULL)
        delete forWriter;
    return m_hWriter != NULL;
}

DWORD WINAPI StatusBoard::WriterMain(void* shared)
{
    const std::unique_ptr<std::shared_ptr<Shared>> held(static_cast<std::shared_ptr<Shared>*>(shared));
    WriteUntilStopped(**held);
    return 0;
}

void StatusBoard::WriteUntilStopped(Shared& shared)
{
    for (;;) {
        WaitForSingleObject(shared.hWake, INFINITE);
        // Read outside the lock: a console's calls may wait on the console.
        const size_t columns = shared.screen ? shared.screen->Columns() : 0;
        const Frame frame = TakeFrame(shared, columns);
        WriteFrame(shared, frame);
        if (frame.last)
            return;
    }
}

StatusBoard::Frame StatusBoard::TakeFrame(Shared& shared, size_t columns)
{
    Frame frame;
    EnterCriticalSection(&shared.lock);
    frame.dated.swap(shared.queued);
    if (shared.droppedEvents > 0) {
        frame.dated.push_back(LogDateAndTime() + " " + std::to_string(shared.droppedEvents) +
                              " event lines were left out while the output was blocked");
        shared.droppedEvents = 0;
    }
    for (const std::string& line : frame.dated)
        frame.events.push_back(WithoutDate(line));
    frame.last = shared.stopping;
    const double now = shared.clock.Seconds();
    if (shared.screen && !frame.last)
        for (const Row& row : shared.rows)
            frame.board.push_back(FitBoardLine(
                StatusRowText(row.channel, row.figures, row.bitsPerSecond, now, row.source), columns));
    LeaveCriticalSection(&shared.lock);
    return frame;
}

void StatusBoard::WriteFrame(Shared& shared, const Frame& frame)
{
    // The log first: it is the record an unattended feeder leaves, and output may block.
    if (shared.log)
        shared.log->Append(frame.dated, "");   // dated already
    if (shared.screen) {
        shared.redraw.Draw(*shared.screen, frame.events, frame.board);   // the last frame takes the board away
        return;
    }
    std::string text;
    for (const std::string& line : frame.events)
        text += line + "\n";
    if (!text.empty())
        WriteOut(text);
}

StatusBoard::Row* StatusBoard::Find(uint32_t channel)
{
    for (Row& row : m_shared->rows)
        if (row.channel == channel)
            return &row;
    return nullptr;
}

void StatusBoard::Event(uint32_t channel, const std::string& line)
{
    Queue(LogDateAndTime() + " channel " + std::to_string(channel) + ": " + line);
}

void StatusBoard::Note(const std::string& line)
{
    Queue(LogDateAndTime() + " " + line);
}

void StatusBoard::AddRow(uint32_t channel, const std::string& source)
{
    EnterCriticalSection(&m_shared->lock);
    std::vector<Row>& rows = m_shared->rows;
    auto at = rows.begin();
    while (at != rows.end() && at->channel < channel)
        ++at;
    rows.insert(at, Row{channel, source, ChannelFigures{}});
    LeaveCriticalSection(&m_shared->lock);
    SetEvent(m_shared->hWake);
}

void StatusBoard::RetireRow(uint32_t channel)
{
    EnterCriticalSection(&m_shared->lock);
    std::vector<Row>& rows = m_shared->rows;
    for (auto at = rows.begin(); at != rows.end(); ++at) {
        if (at->channel == channel) {
            m_shared->retired.push_back(*at);
            rows.erase(at);
            break;
        }
    }
    LeaveCriticalSection(&m_shared->lock);
    SetEvent(m_shared->hWake);
}

void StatusBoard::Queue(const std::string& text)
{
    Shared& shared = *m_shared;
    EnterCriticalSection(&shared.lock);
    if (shared.queued.size() < MAX_QUEUED_EVENTS)
        shared.queued.push_back(text);
    else
        ++shared.droppedEvents;
    // Kept apart from the output's queue: the page shows them while output is blocked too.
    shared.recent.push_back(text);
    if (shared.recent.size() > STATUS_EVENT_LINES)
        shared.recent.pop_front();
    LeaveCriticalSection(&shared.lock);
    SetEvent(shared.hWake);
}

void StatusBoard::Publish(uint32_t channel, const ChannelFigures& figures)
{
    EnterCriticalSection(&m_shared->lock);
    if (Row* row = Find(channel))
        row->figures = figures;
    LeaveCriticalSection(&m_shared->lock);
}

void StatusBoard::Refresh()
{
    Shared& shared = *m_shared;
    EnterCriticalSection(&shared.lock);
    const double now = Now();
    for (Row& row : shared.rows) {
        const double span = now - row.lastSeconds;
        if (span > 0.0)
            row.bitsPerSecond = static_cast<double>(row.figures.accepted - row.lastAccepted) * BITS_PER_BYTE / span;
        row.lastAccepted = row.figures.accepted;
        row.lastSeconds = now;
    }
    LeaveCriticalSection(&shared.lock);
    if (shared.screen)
        SetEvent(shared.hWake);
}

// True once the writer has written what was queued and ended.
bool StatusBoard::StopWriter()
{
    if (m_hWriter == NULL)
        return true;
    EnterCriticalSection(&m_shared->lock);
    m_shared->stopping = true;
    LeaveCriticalSection(&m_shared->lock);
    SetEvent(m_shared->hWake);
    const bool ended = WaitForSingleObject(m_hWriter, WRITER_STOP_MS) == WAIT_OBJECT_0;
    if (ended) {
        CloseHandle(m_hWriter);
        m_hWriter = NULL;
    }
    return ended;
}

void StatusBoard::Summary()
{
    if (!StopWriter())
        return;     // output is blocked: the summary would block the feeder's end as well
    Shared& shared = *m_shared;
    WriteFrame(shared, TakeFrame(shared, shared.screen ? shared.screen->Columns() : 0));   // what a writer never started left
    // A channel that overran its stop may still publish: the rows are read under the lock.
    EnterCriticalSection(&shared.lock);
    std::vector<Row> rows = shared.retired;
    rows.insert(rows.end(), shared.rows.begin(), shared.rows.end());
    LeaveCriticalSection(&shared.lock);
    // A channel whose source changed has two lines, the old source's first.
    std::stable_sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) { return a.channel < b.channel; });
    const double cpu = ProcessCpuSeconds();
    const double PERCENT = 100.0;
    char line[512];
    std::string text;
    std::snprintf(line, sizeof line, "summary after %.1f s, processor time %.2f s (%.2f %% of one core):\n", Now(),
                  cpu, Now() > 0.0 ? cpu / Now() * PERCENT : 0.0);
    text += line;
    for (const Row& row : rows) {
        const ChannelFigures& f = row.figures;
        std::snprintf(line, sizeof line,
                      "channel %u: visits %u, delivered %llu bytes, in doubt %llu bytes, drops %llu,"
                      " skipped %llu bytes, source failures %u (",
                      row.channel, f.visits, static_cast<unsigned long long>(f.delivered),
                      static_cast<unsigned long long>(f.inDoubt), static_cast<unsigned long long>(f.drops),
                      static_cast<unsigned long long>(f.skipped), f.failures);
        text += line + row.source + ")\n";
    }
    WriteSummary(shared, text);
}

void StatusBoard::WriteSummary(Shared& shared, const std::string& text)
{
    if (shared.log)
        shared.log->Append(SplitLines(text), LogDateAndTime());
    if (shared.screen)
        shared.screen->Write(text);
    else
        WriteOut(text);
}

// Counters add up every source the channel had, so that none goes back when a map change replaces one.
ChannelStatus StatusBoard::StatusOf(const Row& row, const std::vector<Row>& retired, double now)
{
    ChannelStatus status;
    status.channel = row.channel;
    status.state = StateName(row.figures.state);
    status.source = MaskUrlPassword(row.source);
    status.hostConnected = HoldsPipe(row.figures.state);
    status.rateBps = row.bitsPerSecond;
    const ChannelFigures* troubled = row.figures.lastTrouble.empty() ? nullptr : &row.figures;
    std::vector<const Row*> sources{&row};
    for (const Row& old : retired)
        if (old.channel == row.channel)
            sources.push_back(&old);
    for (const Row* each : sources) {
        const ChannelFigures& f = each->figures;
        status.bytesDelivered += f.delivered;
        status.drops += f.drops;
        status.skippedBytes += f.skipped;
        status.visits += f.visits;
        status.sourceFailures += f.failures;
        if (!f.lastTrouble.empty() && (troubled == nullptr || f.troubleAt > troubled->troubleAt))
            troubled = &f;
    }
    if (troubled != nullptr) {
        status.lastTrouble = MaskUrlPassword(troubled->lastTrouble);
        status.lastTroubleAgoSeconds = std::max(0.0, now - troubled->troubleAt);
    }
    return status;
}

StatusSnapshot StatusBoard::Snapshot(const std::string& version) const
{
    const Shared& shared = *m_shared;
    StatusSnapshot snapshot;
    snapshot.version = version;
    snapshot.started = shared.started;
    EnterCriticalSection(&shared.lock);
    const double now = shared.clock.Seconds();
    const std::vector<Row> rows = shared.rows;
    const std::vector<Row> retired = shared.retired;
    snapshot.events.assign(shared.recent.begin(), shared.recent.end());
    LeaveCriticalSection(&shared.lock);
    snapshot.uptimeSeconds = now;
    for (const Row& row : rows)
        snapshot.channels.push_back(StatusOf(row, retired, now));
    for (std::string& line : snapshot.events)
        line = MaskUrlPassword(line);
    return snapshot;
}
