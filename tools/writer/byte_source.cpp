#include "byte_source.h"

#include "system_error.h"
#include "wide.h"

size_t GeneratedSource::Read(uint8_t* dst, size_t size)
{
    const size_t n = m_left < size ? static_cast<size_t>(m_left) : size;
    m_packets.Fill(dst, n);
    m_left -= n;
    return n;
}

HandleSource::~HandleSource()
{
    if (m_owned && m_hInput != INVALID_HANDLE_VALUE)
        CloseHandle(m_hInput);
}

// Pipes hand out what is there, so read until the request is full or the input ends.
size_t HandleSource::Read(uint8_t* dst, size_t size)
{
    size_t filled = 0;
    while (!m_ended && filled < size) {
        DWORD got = 0;
        if (!ReadFile(m_hInput, dst + filled, static_cast<DWORD>(size - filled), &got, NULL)) {
            const DWORD error = GetLastError();
            // A writer on the other end of a pipe that closed is the end of input.
            if (error != ERROR_BROKEN_PIPE)
                m_error = "reading the input failed (" + SystemErrorText(error) + ")";
            m_ended = true;
        } else if (got == 0) {
            m_ended = true;
        }
        filled += got;
    }
    return filled;
}

std::unique_ptr<ByteSource> OpenFileSource(const std::string& path, std::string* error)
{
    HANDLE h = CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                           FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        *error = "cannot open '" + path + "' (" + SystemErrorText(code) + ")";
        return nullptr;
    }
    return std::unique_ptr<ByteSource>(new HandleSource(h, true));
}

std::unique_ptr<ByteSource> OpenStdinSource()
{
    return std::unique_ptr<ByteSource>(new HandleSource(GetStdHandle(STD_INPUT_HANDLE), false));
}
