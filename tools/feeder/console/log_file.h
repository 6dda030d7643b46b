// The feeder's record on disk: every event line and the summaries, appended with
// the date and time. At a size limit the file moves to FILE.1, FILE.1 to FILE.2
// and so on, the oldest dropped, so an unattended feeder never fills the disk.
// Only the status board's writing thread uses it: the channels never wait on it.
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

constexpr uint64_t LOG_ROTATE_BYTES = 10ull * 1024 * 1024;
constexpr int      LOG_KEPT_FILES = 5;     // FILE.1 ... FILE.5

// Told once, in words for the user, that the log cannot be written.
typedef std::function<void(const std::string& why)> LogTrouble;

class LogFile {
public:
    LogFile(const std::string& path, LogTrouble trouble, uint64_t rotateBytes = LOG_ROTATE_BYTES);
    ~LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    // Each line with `stamp` and a space before it (none when the stamp is empty). A line is never split across
    // two files: the file rotates before a line that would pass the limit.
    void Append(const std::vector<std::string>& lines, const std::string& stamp);
    const std::string& Path() const { return m_path; }

private:
    bool EnsureOpen();
    void Rotate();
    void WriteLine(const std::string& line);
    void Fail(const std::string& doing, DWORD error);

    std::string     m_path;
    LogTrouble      m_trouble;
    uint64_t        m_rotateBytes;
    HANDLE          m_hFile = INVALID_HANDLE_VALUE;
    uint64_t        m_size = 0;
    bool            m_bToldTrouble = false;
};

// "2026-12-08" and "2026-12-08 20:55:01.123", local time, for stamps.
constexpr size_t LOG_DATE_PREFIX_CHARS = sizeof "2026-12-08 " - 1;   // the date and its space
std::string LogDate();
std::string LogDateAndTime();
