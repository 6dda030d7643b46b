// Opening a channel's pipe as its one writer, waiting for it to appear or be free.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "writer_exit_codes.h"

struct PipeConnection {
    WriterExitCode  code = WRITER_EXIT_OK;
    HANDLE          hPipe = INVALID_HANDLE_VALUE;   // the caller's to close when code is OK
    std::string     error;
};

// "\\.\pipe\Zelmoor" and the channel in two digits.
std::wstring PipeNameForChannel(uint32_t channel);

PipeConnection ConnectToPipe(const std::wstring& name, double waitSeconds);
