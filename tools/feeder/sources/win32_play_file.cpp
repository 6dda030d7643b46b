#include "win32_play_file.h"

#include "system_error.h"
#include "wide.h"

namespace {

bool Failed(std::string* why)
{
    *why = SystemErrorText(GetLastError());
    return false;
}

} // namespace

bool Win32PlayFile::Open(const std::string& path)
{
    Close();
    m_hFile = CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                          NULL, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    return m_hFile != INVALID_HANDLE_VALUE;
}

void Win32PlayFile::Close()
{
    if (m_hFile != INVALID_HANDLE_VALUE) {
        CloseHandle(m_hFile);
        m_hFile = INVALID_HANDLE_VALUE;
    }
}

bool Win32PlayFile::Size(uint64_t* size, std::string* why)
{
    LARGE_INTEGER value;
    if (!GetFileSizeEx(m_hFile, &value))
        return Failed(why);
    *size = static_cast<uint64_t>(value.QuadPart);
    return true;
}

bool Win32PlayFile::Read(uint8_t* dst, size_t want, size_t* got, std::string* why)
{
    DWORD done = 0;
    if (!ReadFile(m_hFile, dst, static_cast<DWORD>(want), &done, NULL))
        return Failed(why);
    *got = done;
    return true;
}

bool Win32PlayFile::Seek(uint64_t offset, std::string* why)
{
    LARGE_INTEGER at = {};
    at.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(m_hFile, at, NULL, FILE_BEGIN) || Failed(why);
}
