// The yardstick: a plain inbound pipe with the driver's buffer sizes, read by one
// blocking 48,128-byte ReadFile after another, no overlapped I/O.
#pragma once
#include <windows.h>
#include <cstdint>
#include <string>

struct RawFigures {
    bool        ok;
    uint64_t    bytes;
    uint64_t    reads;
    double      firstReadAt;
    DWORD       firstReadBytes;
    double      lastReadAt;
};

std::wstring RawPipeName();
HANDLE CreateRawPipe();
// Waits for the writer, then reads until it has gone; closes the pipe.
RawFigures ReadRawPipe(HANDLE pipe);
