#include "map_reload.h"

#include "system_error.h"
#include "thread_join.h"

namespace {

// Editors save in steps (truncate, write, rename; a backup first): the file must
// have been left alone this long before it is read, so a save takes effect
// within the quiet time and a read or two, well under a second.
const DWORD QUIET_MS = 60;
// A file written without pause for longer than this is read anyway.
const DWORD QUIET_LIMIT_MS = 400;
// A save paused midway can leave a text that parses: it counts only when a read
// this much later gives the same text.
const DWORD CONFIRM_MS = 250;
// A failed read or parse is tried again this soon, or at the next change.
const DWORD RETRY_MS = 50;
// The same parse failure this long, with no change meanwhile, is the map's own fault.
const DWORD BAD_MAP_PATIENCE_MS = 250;
// A file locked or gone this long is no longer a save in progress.
const DWORD UNREADABLE_PATIENCE_MS = 1500;
// While a stopped channel's worker has not ended, it is looked at this often.
const DWORD REAP_MS = 20;
const char  KEEPING[] = "; keeping the map in use";

} // namespace

MapReloader::MapReloader(const FeederOptions& options, ChannelRoster* roster, StatusBoard* board, MapVetting vetting)
    : m_path(options.watchedMap), m_fixed(options.fixedMappings), m_roster(roster), m_board(board),
      m_vetting(std::move(vetting))
{
    if (!m_path.empty())
        Remember(options.watchedMapText);
}

MapReloader::~MapReloader()
{
    Join(INFINITE);     // the thread uses every member
}

bool MapReloader::Start(HANDLE hStop, std::string* why)
{
    m_hStop = hStop;
    // A folder the system cannot watch (some network shares) leaves the channels as
    // they are: said once, not a reason to feed nothing.
    if (!m_watch.Open(m_path)) {
        m_board->Note(m_watch.Error() + "; changes to " + m_path + " are not followed");
        return true;
    }
    m_bWatching = true;
    m_hThread = CreateThread(NULL, 0, ThreadMain, this, 0, NULL);
    if (m_hThread == NULL) {
        *why = "cannot start watching the map file " + m_path + " (" + SystemErrorText(GetLastError()) + ")";
        m_watch.Close();
    }
    return m_hThread != NULL;
}

bool MapReloader::Join(DWORD timeoutMs)
{
    return JoinThread(&m_hThread, timeoutMs);
}

DWORD WINAPI MapReloader::ThreadMain(void* self)
{
    static_cast<MapReloader*>(self)->Run();
    return 0;
}

void MapReloader::Run()
{
    // A save between the start-up read and the watch's start raised no notice: read once more.
    if (m_bWatching && !Reload()) {
        m_watch.Close();
        return;
    }
    for (;;) {
        const DWORD waitMs = m_roster->Reap() ? REAP_MS : INFINITE;
        if (!m_bWatching) {
            // Channels already stopping still get their replacements.
            if (WaitForSingleObject(m_hStop, waitMs) == WAIT_OBJECT_0)
                break;
            continue;
        }
        const MapWatchWait wait = m_watch.Wait(m_hStop, waitMs);
        if (wait == MapWatchWait::STOPPED || (wait == MapWatchWait::CHANGED && !Reload()))
            break;
        if (wait == MapWatchWait::FAILED) {
            m_board->Note(m_watch.Error() + "; changes to " + m_path + " are no longer followed");
            m_bWatching = false;
        }
    }
    m_watch.Close();
}

// Reads the changed file once it has settled; false when the feeder is stopping.
bool MapReloader::Reload()
{
    std::string lastWhy;
    ULONGLONG failingSince = 0;
    for (;;) {
        if (!AwaitQuiet())
            return false;
        Attempt attempt = Read();
        if (attempt.ok && m_bTextRead && attempt.text == m_lastText)
            return true;    // a save without a change, or a folder entry that named the file
        if (attempt.ok) {
            const Confirmation confirmation = Confirm(attempt.text);
            if (confirmation == Confirmation::STOPPED)
                return false;
            if (confirmation == Confirmation::CHANGED)
                continue;   // still being written: wait for it to settle again
        }
        if (attempt.ok && Vet(&attempt)) {
            Take(attempt);
            return true;
        }
        const ULONGLONG now = GetTickCount64();
        if (attempt.why != lastWhy) {
            lastWhy = attempt.why;
            failingSince = now;
        }
        const DWORD patienceMs = attempt.unreadable ? UNREADABLE_PATIENCE_MS : BAD_MAP_PATIENCE_MS;
        if (now - failingSince >= patienceMs) {
            m_board->Note(attempt.why + KEEPING);
            if (attempt.ok)
                Remember(attempt.text);     // said once: the same refused text again is no news
            return true;
        }
        const MapWatchWait wait = m_watch.Wait(m_hStop, RETRY_MS);
        if (wait == MapWatchWait::STOPPED)
            return false;
        if (wait == MapWatchWait::FAILED)
            return true;    // the caller says so
    }
}

// Waits until the file has been left alone for QUIET_MS; false when the feeder is stopping.
bool MapReloader::AwaitQuiet()
{
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        switch (m_watch.Wait(m_hStop, QUIET_MS)) {
        case MapWatchWait::STOPPED:
            return false;
        case MapWatchWait::CHANGED:
            if (GetTickCount64() - start < QUIET_LIMIT_MS)
                continue;
            return true;
        default:
            return true;    // quiet, or a failed watch that the next wait reports
        }
    }
}

// Reads the file again a moment later; the same text confirms the first read.
MapReloader::Confirmation MapReloader::Confirm(const std::string& text)
{
    const MapWatchWait wait = m_watch.Wait(m_hStop, CONFIRM_MS);
    if (wait == MapWatchWait::STOPPED)
        return Confirmation::STOPPED;
    if (wait == MapWatchWait::CHANGED)
        return Confirmation::CHANGED;
    std::string again, why;
    unsigned long error = 0;
    return ReadMapFile(m_path, &again, &why, &error) && again == text ? Confirmation::SAME : Confirmation::CHANGED;
}

MapReloader::Attempt MapReloader::Read() const
{
    Attempt attempt;
    unsigned long error = 0;
    if (!ReadMapFile(m_path, &attempt.text, &attempt.why, &error)) {
        attempt.unreadable = error != 0;
        return attempt;
    }
    std::vector<ChannelMapping> mappings;
    ParseOutcome parsed = ParseMapText(attempt.text, m_path, &mappings);
    // An in-place save reads as empty for a moment after it truncates: a map
    // without a channel is refused, and the retry reads the finished save.
    if (parsed.kind == ParseOutcome::RUN && mappings.empty())
        parsed = ParseOutcome::Error(m_path + ": no N=SOURCE line (to stop a channel, remove its line only)");
    mappings.insert(mappings.end(), m_fixed.begin(), m_fixed.end());
    if (parsed.kind == ParseOutcome::RUN)
        parsed = FinishMappings(&mappings);
    if (parsed.kind != ParseOutcome::RUN) {
        attempt.why = parsed.message;
        return attempt;
    }
    attempt.ok = true;
    attempt.mappings = mappings;
    return attempt;
}

bool MapReloader::Vet(Attempt* attempt) const
{
    std::string why;
    if (!m_vetting || m_vetting(attempt->mappings, &why))
        return true;
    attempt->why = m_path + ": refused: " + why;
    return false;
}

void MapReloader::Remember(const std::string& text)
{
    m_lastText = text;
    m_bTextRead = true;
}

void MapReloader::Take(const Attempt& attempt)
{
    Remember(attempt.text);
    if (DiffMaps(m_roster->Mappings(), attempt.mappings).empty())
        m_board->Note(m_path + " read again: no channel changed");
    m_roster->Apply(attempt.mappings);
}
