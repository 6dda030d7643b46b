// Where the received stream goes: a file, standard output, or nowhere. A file is
// written as a new file beside the one named, which replaces it only when the
// run ends well, so a failed run never damages what was there before.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

class StreamSink {
public:
    StreamSink() = default;
    StreamSink(const StreamSink&) = delete;
    StreamSink& operator=(const StreamSink&) = delete;
    ~StreamSink() { Abandon(); }

    // An empty path discards everything; "-" is standard output.
    bool Open(const std::string& path, std::string* error);
    bool Write(const uint8_t* data, uint32_t size, std::string* error);
    // The new file takes the named file's place.
    bool Commit(std::string* error);
    // The named file stays as it was. The new file is removed when it holds
    // nothing; otherwise it is kept, and the returned text says where.
    std::string Abandon();

    static const char STANDARD_OUTPUT[];

private:
    void CloseFile();

    HANDLE          m_hFile = INVALID_HANDLE_VALUE;
    bool            m_ownsFile = false;     // not when it is standard output
    std::string     m_path;                 // the file named on the command line
    std::wstring    m_newPath;              // where the stream goes until Commit
    uint64_t        m_written = 0;
};
