// Where the received stream goes: a file, or nowhere.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

class StreamSink {
public:
    StreamSink() = default;
    StreamSink(const StreamSink&) = delete;
    StreamSink& operator=(const StreamSink&) = delete;
    ~StreamSink() { Close(); }

    // An empty path discards everything.
    bool Open(const std::string& path, std::string* error);
    bool Write(const uint8_t* data, uint32_t size, std::string* error);
    void Close();

private:
    HANDLE  m_hFile = INVALID_HANDLE_VALUE;
};
