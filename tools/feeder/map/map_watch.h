// Tells when a map file may have changed, by the system's change notification on
// its folder rather than by polling. Only entries that name the file count, so a
// busy folder (a log written beside the map) wakes nobody, whether they give its
// long or its 8.3 name. Saves that write a new file and rename it over the old
// one count too: the new name is the file's.
#pragma once
#include <windows.h>

#include <string>

#include "watched_name.h"

enum class MapWatchWait {
    CHANGED,        // the file was written, created, renamed or deleted
    TIMED_OUT,
    STOPPED,        // the stop event is set
    FAILED,         // the folder cannot be watched any more; Error() says why
};

// Room for the records of one wait: a save makes a handful, an overflow is taken for a change.
constexpr size_t MAP_WATCH_BUFFER_DWORDS = 4096;

class MapWatch {
public:
    MapWatch() = default;
    ~MapWatch() { Close(); }
    MapWatch(const MapWatch&) = delete;
    MapWatch& operator=(const MapWatch&) = delete;

    // Starts watching the folder of `path`; false with Error() set.
    bool Open(const std::string& path);
    // Waits for a change to the file, the stop event, or the time-out.
    MapWatchWait Wait(HANDLE hStop, DWORD timeoutMs);
    // Cancels the watch and closes its handles; safe to call twice.
    void Close();
    const std::string& Error() const { return m_error; }

private:
    bool Arm();
    bool NamesTheFile(DWORD bytes) const;
    bool Collect();

    WatchedName     m_name;                         // the file's names within its folder
    HANDLE          m_hFolder = INVALID_HANDLE_VALUE;
    HANDLE          m_hEvent = NULL;
    OVERLAPPED      m_overlapped = {};
    bool            m_bPending = false;             // a read is in flight; m_buffer is the system's
    bool            m_bChanged = false;             // the last finished read named the file
    DWORD           m_buffer[MAP_WATCH_BUFFER_DWORDS];  // FILE_NOTIFY_INFORMATION records, DWORD-aligned
    std::string     m_error;
};
