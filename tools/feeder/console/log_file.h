// The feeder's record on disk: every event line and the summaries, appended with
// the date and time. At a size limit the file moves to FILE.1, FILE.1 to FILE.2
// and so on, the oldest dropped, so an unattended feeder never fills the disk.
// A rotation that cannot finish (a viewer holds a file without delete sharing)
// is undone: the lines go on into the current file, and no older one is lost.
// Only the status board's writing thread uses it: the channels never wait on it.
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

constexpr uint64_t LOG_ROTATE_BYTES = 10ull * 1024 * 1024;
constexpr int      LOG_KEPT_FILES = 5;     // FILE.1 ... FILE.5

// Told once, in words for the user, that the log cannot be written or rotated.
typedef std::function<void(const std::string& why)> LogTrouble;

// A service's log is written with the service's rights: it follows no link a
// user may have put in its place, and it is a plain file, not a device or a
// file that other names reach.
enum class LogPlacement { ANY, PLAIN_FILE_ONLY };
LogPlacement LogPlacementForThisRun();

class LogFile {
public:
    LogFile(const std::string& path, LogTrouble trouble, uint64_t rotateBytes = LOG_ROTATE_BYTES,
            LogPlacement placement = LogPlacementForThisRun());
    ~LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    // Each line with `stamp` and a space before it (none when the stamp is empty). A line is never split across
    // two files: the file rotates before a line that would pass the limit.
    void Append(const std::vector<std::string>& lines, const std::string& stamp);
    const std::string& Path() const { return m_path; }

private:
    bool EnsureOpen();
    bool Rotate(DWORD* error);
    void WriteLine(const std::string& line);
    void Tell(bool* told, const std::string& trouble, const std::string& consequence);
    void Fail(const std::string& doing, DWORD error);

    std::string     m_path;
    LogTrouble      m_trouble;
    uint64_t        m_rotateBytes;
    LogPlacement    m_placement;
    HANDLE          m_hFile = INVALID_HANDLE_VALUE;
    uint64_t        m_size = 0;
    bool            m_bToldTrouble = false;     // cannot open or write: said once for good
    bool            m_bToldRotate = false;      // cannot rotate: said once until a rotation succeeds
};

// "2026-12-08" and "2026-12-08 20:55:01.123", local time, for stamps.
constexpr size_t LOG_DATE_PREFIX_CHARS = sizeof "2026-12-08 " - 1;   // the date and its space
std::string LogDate();
std::string LogDateAndTime();
