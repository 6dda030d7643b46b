// A live file's index: made once on its channel's thread when the feeder starts,
// and made again when a visit finds the file changed (size, time of last write or
// identity), as after a copy over it or a rename. Until a scan succeeds (the file
// missing at the start, say) each visit tries again. Used by its channel's thread only.
#pragma once
#include <windows.h>

#include <memory>
#include <string>

#include "live_index.h"

class Win32PlayFile;

// What tells one version of a file from another without reading it.
struct FileStamp {
    uint64_t    size = 0;
    FILETIME    written = {};
    uint64_t    id = 0;         // the file's index within its volume
    DWORD       volume = 0;
    bool        known = false;
};

class LiveRecording {
public:
    explicit LiveRecording(const std::string& path) : m_path(path) {}
    // Indexes the file, giving up when hStop is set; returns the line to tell the user.
    std::string Prepare(HANDLE hStop);
    // The index of the open file, made again from it if it changed; null with *why set.
    // Made from the open file itself: the path may name another file by now.
    std::shared_ptr<const LiveIndex> IndexFor(Win32PlayFile* file, std::string* why);

private:
    bool Scan(Win32PlayFile* file, std::string* why);

    std::string                         m_path;
    HANDLE                              m_hStop = NULL;     // the feeder's, set by Prepare
    FileStamp                           m_stamp;            // of the file as last scanned
    std::shared_ptr<const LiveIndex>    m_index;            // null until a scan succeeds
    std::string                         m_failure;          // why the last scan of m_stamp failed
};
