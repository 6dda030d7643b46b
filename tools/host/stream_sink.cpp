#include "stream_sink.h"

#include "wide.h"

bool StreamSink::Open(const std::string& path, std::string* error)
{
    Close();
    if (path.empty())
        return true;
    m_hFile = CreateFileW(Widen(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, NULL,
                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (m_hFile == INVALID_HANDLE_VALUE) {
        *error = "cannot create '" + path + "' (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    return true;
}

bool StreamSink::Write(const uint8_t* data, uint32_t size, std::string* error)
{
    if (m_hFile == INVALID_HANDLE_VALUE || size == 0)
        return true;
    DWORD written = 0;
    if (!WriteFile(m_hFile, data, size, &written, NULL) || written != size) {
        *error = "writing the output file failed (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    return true;
}

void StreamSink::Close()
{
    if (m_hFile != INVALID_HANDLE_VALUE) {
        CloseHandle(m_hFile);
        m_hFile = INVALID_HANDLE_VALUE;
    }
}
