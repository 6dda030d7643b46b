// Opening a channel's pipe as its one writer, waiting for it to appear or be free.
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "pipe_name.h"
#include "writer_exit_codes.h"

struct PipeConnection {
    WriterExitCode  code = WRITER_EXIT_OK;
    HANDLE          hPipe = INVALID_HANDLE_VALUE;   // the caller's to close when code is OK
    std::string     error;
};

// Called once, when the pipe is missing or busy at the first look and the
// writer starts waiting; `busy` tells which.
typedef std::function<void(bool busy)> WaitingNotice;

PipeConnection ConnectToPipe(const std::wstring& name, double waitSeconds, const WaitingNotice& onWaiting);
