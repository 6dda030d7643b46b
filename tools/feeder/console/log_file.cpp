#include "log_file.h"

#include <cstdio>
#include <vector>

#include "feeder_role.h"
#include "system_error.h"
#include "wide.h"

namespace {

const char DROPPED_SUFFIX[] = ".dropped";   // the oldest log, until the rotation that drops it is done
const char WITHOUT_LOG[] = "the channels go on without it";
const char ROTATE_LATER[] = "its lines go on into it, and it rotates once it can be renamed"
                            " (does a program hold it open?)";
const char NOT_PLAIN[] = "it is not a plain file (a link, a folder, a device, or a file with other names),"
                         " and a service writes its log only to a plain file";

std::wstring Numbered(const std::string& path, int n)
{
    return Widen(path + "." + std::to_string(n));
}

// One rename of a rotation, undone when a later one fails.
struct LogMove {
    std::wstring from;
    std::wstring to;
};

// Renames in order, none over an existing file; a log not there yet is skipped.
// On a failure, the renames done are undone, newest first: all or nothing.
bool MoveAllOrNone(const std::vector<LogMove>& moves, DWORD* error)
{
    std::vector<const LogMove*> done;
    for (const LogMove& move : moves) {
        if (MoveFileExW(move.from.c_str(), move.to.c_str(), 0)) {
            done.push_back(&move);
            continue;
        }
        if (GetLastError() == ERROR_FILE_NOT_FOUND)
            continue;
        *error = GetLastError();
        for (auto undo = done.rbegin(); undo != done.rend(); ++undo)
            MoveFileExW((*undo)->to.c_str(), (*undo)->from.c_str(), 0);
        return false;
    }
    return true;
}

// Whether the file may be renamed now: a reader that shares no deletion keeps
// it in place, and then nothing else is touched.
bool CanRename(const std::wstring& path, DWORD* error)
{
    HANDLE h = CreateFileW(path.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                           OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, NULL);
    if (h == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        return false;
    }
    CloseHandle(h);
    return true;
}

bool IsPlainFile(HANDLE h)
{
    BY_HANDLE_FILE_INFORMATION info;
    const DWORD notPlain = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE;
    return GetFileType(h) == FILE_TYPE_DISK && GetFileInformationByHandle(h, &info)
        && (info.dwFileAttributes & notPlain) == 0 && info.nNumberOfLinks == 1;
}

SYSTEMTIME LocalNow()
{
    SYSTEMTIME t;
    GetLocalTime(&t);
    return t;
}

} // namespace

std::string LogDate()
{
    const SYSTEMTIME t = LocalNow();
    char text[16];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u", t.wYear, t.wMonth, t.wDay);
    return text;
}

std::string LogDateAndTime()
{
    const SYSTEMTIME t = LocalNow();
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%03u", t.wYear, t.wMonth, t.wDay, t.wHour,
                  t.wMinute, t.wSecond, t.wMilliseconds);
    return text;
}

LogPlacement LogPlacementForThisRun()
{
    return CurrentFeederRole() == FeederRole::SERVICE ? LogPlacement::PLAIN_FILE_ONLY : LogPlacement::ANY;
}

LogFile::LogFile(const std::string& path, LogTrouble trouble, uint64_t rotateBytes, LogPlacement placement)
    : m_path(path), m_trouble(std::move(trouble)), m_rotateBytes(rotateBytes), m_placement(placement)
{
}

LogFile::~LogFile()
{
    if (m_hFile != INVALID_HANDLE_VALUE)
        CloseHandle(m_hFile);
}

// Once: a log that stays unwritable would otherwise repeat itself every line.
void LogFile::Tell(bool* told, const std::string& trouble, const std::string& consequence)
{
    if (*told)
        return;
    *told = true;
    m_trouble(trouble + "; " + consequence);
}

void LogFile::Fail(const std::string& doing, DWORD error)
{
    Tell(&m_bToldTrouble, "cannot " + doing + " the log " + m_path + " (" + SystemErrorText(error) + ")",
         WITHOUT_LOG);
}

bool LogFile::EnsureOpen()
{
    if (m_hFile != INVALID_HANDLE_VALUE)
        return true;
    const bool plainOnly = m_placement == LogPlacement::PLAIN_FILE_ONLY;
    // Others may read it, and rotate or delete it, while the feeder writes.
    m_hFile = CreateFileW(Widen(m_path).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_DELETE, NULL,
                          OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | (plainOnly ? FILE_FLAG_OPEN_REPARSE_POINT : 0), NULL);
    if (m_hFile == INVALID_HANDLE_VALUE) {
        Fail("open", GetLastError());
        return false;
    }
    if (plainOnly && !IsPlainFile(m_hFile)) {
        CloseHandle(m_hFile);
        m_hFile = INVALID_HANDLE_VALUE;
        Tell(&m_bToldTrouble, "cannot use the log " + m_path + ": " + NOT_PLAIN, WITHOUT_LOG);
        return false;
    }
    LARGE_INTEGER size = {};
    GetFileSizeEx(m_hFile, &size);
    m_size = static_cast<uint64_t>(size.QuadPart);
    return true;
}

// The current log is checked first, as it is the one a viewer holds; the renames
// then either all happen or none, so no step loses a log when a later one fails.
bool LogFile::Rotate(DWORD* error)
{
    const std::wstring current = Widen(m_path);
    const bool movable = CanRename(current, error);
    if (!movable && *error != ERROR_FILE_NOT_FOUND)
        return false;
    CloseHandle(m_hFile);
    m_hFile = INVALID_HANDLE_VALUE;
    if (!movable)
        return true;    // deleted by someone else: a new log starts
    const std::wstring dropped = Widen(m_path + DROPPED_SUFFIX);
    // One left by a rotation cut short was on its way out already.
    if (!DeleteFileW(dropped.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND) {
        *error = GetLastError();
        return false;
    }
    std::vector<LogMove> moves{{Numbered(m_path, LOG_KEPT_FILES), dropped}};
    for (int n = LOG_KEPT_FILES - 1; n >= 1; --n)
        moves.push_back({Numbered(m_path, n), Numbered(m_path, n + 1)});
    moves.push_back({current, Numbered(m_path, 1)});
    if (!MoveAllOrNone(moves, error))
        return false;
    DeleteFileW(dropped.c_str());
    return true;
}

void LogFile::WriteLine(const std::string& line)
{
    // Opened first: an existing log's size counts towards the limit.
    if (!EnsureOpen())
        return;
    if (m_size > 0 && m_size + line.size() > m_rotateBytes) {
        DWORD error = 0;
        if (Rotate(&error))
            m_bToldRotate = false;
        else
            Tell(&m_bToldRotate, "cannot rotate the log " + m_path + " (" + SystemErrorText(error) + ")", ROTATE_LATER);
        if (!EnsureOpen())
            return;
    }
    DWORD written = 0;
    if (!WriteFile(m_hFile, line.data(), static_cast<DWORD>(line.size()), &written, NULL)) {
        Fail("write", GetLastError());
        return;
    }
    m_size += written;
}

void LogFile::Append(const std::vector<std::string>& lines, const std::string& stamp)
{
    for (const std::string& line : lines)
        WriteLine((stamp.empty() ? line : stamp + " " + line) + "\r\n");
}
