#include "log_file.h"

#include <cstdio>

#include "system_error.h"
#include "wide.h"

namespace {

std::string Numbered(const std::string& path, int n)
{
    return path + "." + std::to_string(n);
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

LogFile::LogFile(const std::string& path, LogTrouble trouble, uint64_t rotateBytes)
    : m_path(path), m_trouble(std::move(trouble)), m_rotateBytes(rotateBytes)
{
}

LogFile::~LogFile()
{
    if (m_hFile != INVALID_HANDLE_VALUE)
        CloseHandle(m_hFile);
}

void LogFile::Fail(const std::string& doing, DWORD error)
{
    if (m_bToldTrouble)
        return;
    m_bToldTrouble = true;  // once: a log that stays unwritable would otherwise repeat itself every line
    m_trouble("cannot " + doing + " the log " + m_path + " (" + SystemErrorText(error)
              + "); the channels go on without it");
}

bool LogFile::EnsureOpen()
{
    if (m_hFile != INVALID_HANDLE_VALUE)
        return true;
    // Others may read it, and rotate or delete it, while the feeder writes.
    m_hFile = CreateFileW(Widen(m_path).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_DELETE, NULL,
                          OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (m_hFile == INVALID_HANDLE_VALUE) {
        Fail("open", GetLastError());
        return false;
    }
    LARGE_INTEGER size = {};
    GetFileSizeEx(m_hFile, &size);
    m_size = static_cast<uint64_t>(size.QuadPart);
    return true;
}

void LogFile::Rotate()
{
    CloseHandle(m_hFile);
    m_hFile = INVALID_HANDLE_VALUE;
    DeleteFileW(Widen(Numbered(m_path, LOG_KEPT_FILES)).c_str());   // none yet is fine
    for (int n = LOG_KEPT_FILES - 1; n >= 1; --n)
        MoveFileExW(Widen(Numbered(m_path, n)).c_str(), Widen(Numbered(m_path, n + 1)).c_str(),
                    MOVEFILE_REPLACE_EXISTING);
    if (!MoveFileExW(Widen(m_path).c_str(), Widen(Numbered(m_path, 1)).c_str(), MOVEFILE_REPLACE_EXISTING))
        Fail("rotate", GetLastError());   // the lines then go on into the full file rather than nowhere
}

void LogFile::WriteLine(const std::string& line)
{
    // Opened first: an existing log's size counts towards the limit.
    if (!EnsureOpen())
        return;
    if (m_size > 0 && m_size + line.size() > m_rotateBytes) {
        Rotate();
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
