#include "stream_sink.h"

#include "system_error.h"
#include "wide.h"

namespace {

const wchar_t NEW_FILE_PREFIX[] = L"zel";
const size_t  PATH_CAPACITY = 32768;

std::wstring FolderOf(const std::wstring& path)
{
    const size_t slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos)
        return L".";
    return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
}

// Refuses early what the final rename would refuse late: a folder, or a file we may not replace.
bool CanReplace(const std::wstring& path, std::string* error)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return true;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        *error = "'" + Narrow(path) + "' is a folder, not a file";
        return false;
    }
    HANDLE h = CreateFileW(path.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        *error = "cannot replace '" + Narrow(path) + "' (" + SystemErrorText(code) + ")";
        return false;
    }
    CloseHandle(h);
    return true;
}

} // namespace

const char StreamSink::STANDARD_OUTPUT[] = "-";

bool StreamSink::Open(const std::string& path, std::string* error)
{
    Abandon();
    m_path = path;
    if (path.empty())
        return true;
    if (path == STANDARD_OUTPUT) {
        m_hFile = GetStdHandle(STD_OUTPUT_HANDLE);
        return true;
    }
    const std::wstring target = Widen(path);
    if (!CanReplace(target, error))
        return false;
    std::wstring newPath(PATH_CAPACITY, L'\0');
    if (!GetTempFileNameW(FolderOf(target).c_str(), NEW_FILE_PREFIX, 0, &newPath[0])) {
        const DWORD code = GetLastError();
        *error = "cannot create a file beside '" + path + "' (" + SystemErrorText(code) + ")";
        return false;
    }
    newPath.resize(wcslen(newPath.c_str()));
    m_hFile = CreateFileW(newPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, NULL, TRUNCATE_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, NULL);
    if (m_hFile == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        DeleteFileW(newPath.c_str());
        *error = "cannot write '" + Narrow(newPath) + "' (" + SystemErrorText(code) + ")";
        return false;
    }
    m_ownsFile = true;
    m_newPath = newPath;
    return true;
}

bool StreamSink::Write(const uint8_t* data, uint32_t size, std::string* error)
{
    if (m_hFile == INVALID_HANDLE_VALUE || size == 0)
        return true;
    DWORD written = 0;
    if (!WriteFile(m_hFile, data, size, &written, NULL) || written != size) {
        const DWORD code = GetLastError();
        *error = "writing the output failed (" + SystemErrorText(code) + ")";
        return false;
    }
    m_written += size;
    return true;
}

bool StreamSink::Commit(std::string* error)
{
    CloseFile();
    if (m_newPath.empty())
        return true;
    if (!MoveFileExW(m_newPath.c_str(), Widen(m_path).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD code = GetLastError();
        *error = "cannot replace '" + m_path + "' (" + SystemErrorText(code) + "); the recording is in '"
               + Narrow(m_newPath) + "'";
        m_newPath.clear();
        return false;
    }
    m_newPath.clear();
    return true;
}

std::string StreamSink::Abandon()
{
    CloseFile();
    std::string where;
    if (!m_newPath.empty()) {
        if (m_written == 0)
            DeleteFileW(m_newPath.c_str());
        else
            where = "what arrived is in '" + Narrow(m_newPath) + "'; '" + m_path + "' is unchanged";
        m_newPath.clear();
    }
    m_written = 0;
    return where;
}

void StreamSink::CloseFile()
{
    if (m_ownsFile && m_hFile != INVALID_HANDLE_VALUE)
        CloseHandle(m_hFile);
    m_hFile = INVALID_HANDLE_VALUE;
    m_ownsFile = false;
}
