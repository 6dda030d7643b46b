#include "pipe_connect.h"

#include <cstdio>

#include "clock.h"
#include "system_error.h"
#include "wide.h"

namespace {

// A missing pipe cannot be waited for, only looked for again.
const DWORD   MISSING_POLL_MS = 50;
const double  MS_PER_SECOND = 1000.0;

WriterExitCode CodeForError(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND: return WRITER_EXIT_PIPE_MISSING;
    case ERROR_PIPE_BUSY:      return WRITER_EXIT_PIPE_BUSY;
    default:                   return WRITER_EXIT_CONNECT_FAILED;
    }
}

std::string Describe(WriterExitCode code, const std::wstring& name, DWORD error, double waitSeconds)
{
    const std::string pipe = "'" + Narrow(name) + "'";
    char waited[32];
    std::snprintf(waited, sizeof waited, "%.1f", waitSeconds);
    switch (code) {
    case WRITER_EXIT_PIPE_MISSING:
        return "no pipe " + pipe + " after " + waited + " s (is a host on that channel?)";
    case WRITER_EXIT_PIPE_BUSY:
        return "pipe " + pipe + " still busy after " + waited + " s (another writer holds it)";
    default:
        return "cannot open pipe " + pipe + " (" + SystemErrorText(error) + ")";
    }
}

} // namespace

PipeConnection ConnectToPipe(const std::wstring& name, double waitSeconds, const WaitingNotice& onWaiting)
{
    const Stopwatch clock;
    PipeConnection result;
    bool noticed = false;
    for (;;) {
        result.hPipe = CreateFileW(name.c_str(), GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
        if (result.hPipe != INVALID_HANDLE_VALUE) {
            result.code = WRITER_EXIT_OK;
            return result;
        }
        const DWORD error = GetLastError();
        const double leftMs = waitSeconds * MS_PER_SECOND - clock.Milliseconds();
        result.code = CodeForError(error);
        if (result.code == WRITER_EXIT_CONNECT_FAILED || leftMs <= 0.0) {
            result.error = Describe(result.code, name, error, waitSeconds);
            return result;
        }
        if (!noticed) {
            onWaiting(result.code == WRITER_EXIT_PIPE_BUSY);
            noticed = true;
        }
        if (result.code == WRITER_EXIT_PIPE_BUSY) {
            // Returns when an instance is free or the time is up; either way look again.
            WaitNamedPipeW(name.c_str(), static_cast<DWORD>(leftMs) + 1);
        } else {
            Sleep(leftMs < MISSING_POLL_MS ? static_cast<DWORD>(leftMs) + 1 : MISSING_POLL_MS);
        }
    }
}
