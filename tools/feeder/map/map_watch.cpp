#include "map_watch.h"

#include <vector>

#include "system_error.h"
#include "wide.h"

namespace {

const DWORD CHANGES_WANTED = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_SIZE
                           | FILE_NOTIFY_CHANGE_CREATION;
const DWORD PATH_CHARS_MAX = 32768;     // the longest path Windows knows, \\?\ included

// "C:\maps\" of "C:\maps\feeder.txt".
std::wstring FolderOf(const std::wstring& full)
{
    return full.substr(0, full.find_last_of(L"\\/") + 1);
}

// The long form, which the watched name's short one is found from.
std::wstring FullPath(const std::wstring& path)
{
    std::vector<wchar_t> full(PATH_CHARS_MAX), longer(PATH_CHARS_MAX);
    DWORD length = GetFullPathNameW(path.c_str(), PATH_CHARS_MAX, full.data(), NULL);
    if (length == 0 || length >= PATH_CHARS_MAX)
        return path;
    length = GetLongPathNameW(full.data(), longer.data(), PATH_CHARS_MAX);
    return length > 0 && length < PATH_CHARS_MAX ? std::wstring(longer.data(), length) : std::wstring(full.data());
}

} // namespace

bool MapWatch::Open(const std::string& path)
{
    const std::wstring full = FullPath(Widen(path));
    m_name.Set(full);
    m_hFolder = CreateFileW(FolderOf(full).c_str(), FILE_LIST_DIRECTORY,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, NULL);
    m_hEvent = CreateEventW(NULL, TRUE, FALSE, NULL);
    if (m_hFolder == INVALID_HANDLE_VALUE || m_hEvent == NULL) {
        m_error = "cannot watch the folder of " + path + " (" + SystemErrorText(GetLastError()) + ")";
        Close();
        return false;
    }
    if (Arm())
        return true;
    Close();    // a folder that takes no watch (some network shares) holds nothing open
    return false;
}

bool MapWatch::Arm()
{
    m_overlapped = OVERLAPPED();
    m_overlapped.hEvent = m_hEvent;
    ResetEvent(m_hEvent);
    if (!ReadDirectoryChangesW(m_hFolder, m_buffer, sizeof m_buffer, FALSE, CHANGES_WANTED, NULL, &m_overlapped,
                               NULL)) {
        m_error = "cannot watch the map's folder (" + SystemErrorText(GetLastError()) + ")";
        return false;
    }
    // Queued: finished at once or later, the answer comes through the event either way.
    m_bPending = true;
    return true;
}

MapWatchWait MapWatch::Wait(HANDLE hStop, DWORD timeoutMs)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        if (!m_bPending && !Arm())
            return MapWatchWait::FAILED;
        const ULONGLONG now = GetTickCount64();
        const DWORD leftMs = timeoutMs == INFINITE ? INFINITE : now < deadline ? static_cast<DWORD>(deadline - now) : 0;
        const HANDLE waits[] = {hStop, m_hEvent};
        switch (WaitForMultipleObjects(ARRAYSIZE(waits), waits, FALSE, leftMs)) {
        case WAIT_OBJECT_0:
            return MapWatchWait::STOPPED;
        case WAIT_OBJECT_0 + 1:
            if (!Collect())
                return MapWatchWait::FAILED;
            if (m_bChanged)
                return MapWatchWait::CHANGED;
            break;      // another file of the folder: wait on
        case WAIT_TIMEOUT:
            return MapWatchWait::TIMED_OUT;
        default:
            m_error = "cannot wait for the map's folder (" + SystemErrorText(GetLastError()) + ")";
            return MapWatchWait::FAILED;
        }
    }
}

// Takes the finished read's records; false when the folder cannot be watched any more.
bool MapWatch::Collect()
{
    DWORD bytes = 0;
    m_bPending = false;
    if (!GetOverlappedResult(m_hFolder, &m_overlapped, &bytes, FALSE)) {
        const DWORD error = GetLastError();
        // Too many changes for the buffer: the system kept none, so any of them may be the file's.
        if (error == ERROR_NOTIFY_ENUM_DIR) {
            m_bChanged = true;
            return true;
        }
        m_error = "the map's folder cannot be watched any more (" + SystemErrorText(error) + ")";
        return false;
    }
    m_bChanged = bytes == 0 || NamesTheFile(bytes);   // 0: the records did not fit
    if (m_bChanged)
        m_name.Refresh();
    return true;
}

bool MapWatch::NamesTheFile(DWORD bytes) const
{
    const BYTE* at = reinterpret_cast<const BYTE*>(m_buffer);
    const BYTE* end = at + bytes;
    while (at + sizeof(FILE_NOTIFY_INFORMATION) <= end) {
        const FILE_NOTIFY_INFORMATION* record = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(at);
        const int length = static_cast<int>(record->FileNameLength / sizeof(wchar_t));
        if (m_name.Matches(record->FileName, length))
            return true;
        if (record->NextEntryOffset == 0)
            break;
        at += record->NextEntryOffset;
    }
    return false;
}

void MapWatch::Close()
{
    if (m_bPending) {
        // Nothing in flight is fine: the read may have finished just now.
        CancelIoEx(m_hFolder, &m_overlapped);
        DWORD bytes = 0;
        GetOverlappedResult(m_hFolder, &m_overlapped, &bytes, TRUE);    // the buffer is the system's until then
        m_bPending = false;
    }
    if (m_hFolder != INVALID_HANDLE_VALUE) {
        CloseHandle(m_hFolder);
        m_hFolder = INVALID_HANDLE_VALUE;
    }
    if (m_hEvent != NULL) {
        CloseHandle(m_hEvent);
        m_hEvent = NULL;
    }
}
