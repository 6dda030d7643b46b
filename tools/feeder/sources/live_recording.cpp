#include "live_recording.h"

#include <cstdio>

#include "live_scan.h"
#include "system_error.h"
#include "win32_play_file.h"

namespace {

const int    LOOP_SECONDS_DECIMALS = 1;
const size_t SECONDS_TEXT_BYTES = 32;     // a loop's seconds to a tenth, with room to spare

bool ReadStamp(HANDLE hFile, FileStamp* stamp)
{
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(hFile, &info))
        return false;
    stamp->size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    stamp->written = info.ftLastWriteTime;
    stamp->id = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    stamp->volume = info.dwVolumeSerialNumber;
    stamp->known = true;
    return true;
}

bool SameStamp(const FileStamp& a, const FileStamp& b)
{
    return a.known && b.known && a.size == b.size && CompareFileTime(&a.written, &b.written) == 0
        && a.id == b.id && a.volume == b.volume;
}

} // namespace

std::string LiveRecording::Prepare(HANDLE hStop)
{
    m_hStop = hStop;
    std::string why;
    Win32PlayFile file;
    if (!file.Open(m_path)) {
        m_index.reset();
        m_failure = "cannot open " + m_path + " to index it for live play (" + SystemErrorText(GetLastError()) + ")";
        return m_failure;
    }
    if (!Scan(&file, &why))
        return why;     // empty when stopped mid-scan
    char loop[SECONDS_TEXT_BYTES];
    std::snprintf(loop, sizeof loop, "%.*f", LOOP_SECONDS_DECIMALS, m_index->LoopSeconds());
    return "indexed " + m_path + " for live play: a loop of " + loop + " s, "
         + std::to_string(m_index->MarkCount()) + " entry points";
}

std::shared_ptr<const LiveIndex> LiveRecording::IndexFor(Win32PlayFile* file, std::string* why)
{
    FileStamp now;
    if (!ReadStamp(file->Handle(), &now)) {
        *why = "cannot read the size and time of " + m_path + " (" + SystemErrorText(GetLastError()) + ")";
        return nullptr;
    }
    if (SameStamp(now, m_stamp)) {
        *why = m_failure;
        return m_index;
    }
    if (!Scan(file, why) && why->empty())
        *why = "stopped while indexing " + m_path;
    return m_index;
}

// Reads the file through; keeps its stamp, and the index or why there is none.
bool LiveRecording::Scan(Win32PlayFile* file, std::string* why)
{
    m_index.reset();
    m_stamp = FileStamp();
    FileStamp stamp;
    ReadStamp(file->Handle(), &stamp);
    const HANDLE hStop = m_hStop;
    const auto stopped = [hStop] { return hStop != NULL && WaitForSingleObject(hStop, 0) == WAIT_OBJECT_0; };
    std::shared_ptr<LiveIndex> index(new LiveIndex());
    const bool made = ScanLiveIndex(file, m_path, stopped, index.get(), why);
    if (!made && why->empty())
        return false;   // stopped: nothing learned, the next visit scans again
    m_stamp = stamp;
    m_failure = made ? std::string() : *why;
    if (made)
        m_index = index;
    return made;
}
