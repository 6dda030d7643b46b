#include "status_board.h"

#include <cstdio>

namespace {

const double BITS_PER_BYTE = 8.0;
const double MEGA = 1e6;
const int    STATUS_WIDTH = 110;

// Status lines are redrawn in place with the console's own calls, which every
// console understands (escape sequences are not).
bool IsConsole()
{
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    CONSOLE_SCREEN_BUFFER_INFO info;
    return out != NULL && out != INVALID_HANDLE_VALUE && GetConsoleScreenBufferInfo(out, &info);
}

std::string TimeOfDay()
{
    SYSTEMTIME t;
    GetLocalTime(&t);
    char text[16];
    std::snprintf(text, sizeof text, "%02u:%02u:%02u.%03u", t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
    return text;
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

std::string Megabytes(uint64_t bytes)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / MEGA);
    return text;
}

} // namespace

StatusBoard::StatusBoard(const std::vector<ChannelMapping>& mappings)
    : m_bTerminal(IsConsole())
{
    InitializeCriticalSection(&m_csLock);
    for (const ChannelMapping& mapping : mappings)
        m_rows.push_back(Row{mapping.channel, mapping.source->Text(), ChannelFigures{}});
}

StatusBoard::~StatusBoard()
{
    DeleteCriticalSection(&m_csLock);
}

StatusBoard::Row* StatusBoard::Find(uint32_t channel)
{
    for (Row& row : m_rows)
        if (row.channel == channel)
            return &row;
    return nullptr;
}

void StatusBoard::Event(uint32_t channel, const std::string& line)
{
    EnterCriticalSection(&m_csLock);
    EraseStatus();
    std::printf("%s channel %u: %s\n", TimeOfDay().c_str(), channel, line.c_str());
    DrawStatus();
    std::fflush(stdout);
    LeaveCriticalSection(&m_csLock);
}

void StatusBoard::Publish(uint32_t channel, const ChannelFigures& figures)
{
    EnterCriticalSection(&m_csLock);
    if (Row* row = Find(channel))
        row->figures = figures;
    LeaveCriticalSection(&m_csLock);
}

std::string StatusBoard::StatusLine(const Row& row) const
{
    const ChannelFigures& f = row.figures;
    std::string state = StateName(f.state);
    if (f.state == ChannelState::SOURCE_DOWN) {
        const double left = f.retryAt - Now();
        state += ": " + f.detail + " / retrying in " + std::to_string(left > 0.0 ? static_cast<int>(left + 0.5) : 0) + " s";
    }
    char text[256];
    std::snprintf(text, sizeof text, "  %u  %-22.60s %7.2f Mbit/s %10s  drops %llu  %s", row.channel,
                  state.c_str(), row.bitsPerSecond / MEGA, Megabytes(f.accepted).c_str(),
                  static_cast<unsigned long long>(f.drops), row.source.c_str());
    return std::string(text).substr(0, STATUS_WIDTH);
}

void StatusBoard::EraseStatus()
{
    if (m_drawnLines == 0)
        return;
    std::fflush(stdout);
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (GetConsoleScreenBufferInfo(out, &info)) {
        // The block ends where the cursor is, whether or not drawing it scrolled the screen.
        const COORD start = {0, static_cast<SHORT>(info.dwCursorPosition.Y - static_cast<SHORT>(m_drawnLines))};
        DWORD written = 0;
        FillConsoleOutputCharacterW(out, L' ', static_cast<DWORD>(info.dwSize.X) * m_drawnLines, start, &written);
        SetConsoleCursorPosition(out, start);
    }
    m_drawnLines = 0;
}

void StatusBoard::DrawStatus()
{
    if (!m_bTerminal)
        return;
    for (const Row& row : m_rows)
        std::printf("%s\n", StatusLine(row).c_str());
    m_drawnLines = m_rows.size();
}

void StatusBoard::Refresh()
{
    EnterCriticalSection(&m_csLock);
    const double now = Now();
    for (Row& row : m_rows) {
        const double span = now - row.lastSeconds;
        if (span > 0.0)
            row.bitsPerSecond = static_cast<double>(row.figures.accepted - row.lastAccepted) * BITS_PER_BYTE / span;
        row.lastAccepted = row.figures.accepted;
        row.lastSeconds = now;
    }
    if (m_bTerminal) {
        EraseStatus();
        DrawStatus();
        std::fflush(stdout);
    }
    LeaveCriticalSection(&m_csLock);
}

void StatusBoard::Summary()
{
    EnterCriticalSection(&m_csLock);
    EraseStatus();
    const double cpu = ProcessCpuSeconds();
    const double PERCENT = 100.0;
    std::printf("summary after %.1f s, processor time %.2f s (%.2f %% of one core):\n", Now(), cpu,
                Now() > 0.0 ? cpu / Now() * PERCENT : 0.0);
    for (const Row& row : m_rows) {
        const ChannelFigures& f = row.figures;
        std::printf("channel %u: visits %u, delivered %llu bytes, in doubt %llu bytes, drops %llu,"
                    " source failures %u (%s)\n",
                    row.channel, f.visits, static_cast<unsigned long long>(f.delivered),
                    static_cast<unsigned long long>(f.inDoubt), static_cast<unsigned long long>(f.drops),
                    f.failures, row.source.c_str());
    }
    std::fflush(stdout);
    LeaveCriticalSection(&m_csLock);
}
