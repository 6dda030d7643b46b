#include "raw_pipe.h"
#include <vector>
#include "bench_clock.h"
#include "bench_config.h"

namespace {
const wchar_t RAW_PIPE_NAME[] = L"\\\\.\\pipe\\ZelmoorBenchRaw";
constexpr DWORD RAW_PIPE_TIMEOUT_MS = 3000;
}

std::wstring RawPipeName()
{
    return RAW_PIPE_NAME;
}

HANDLE CreateRawPipe()
{
    return CreateNamedPipeW(RAW_PIPE_NAME, PIPE_ACCESS_INBOUND, PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1,
                            BLOCK_BYTES, BLOCK_BYTES, RAW_PIPE_TIMEOUT_MS, NULL);
}

RawFigures ReadRawPipe(HANDLE pipe)
{
    RawFigures figures = {false, 0, 0, 0.0, 0, 0.0};
    // A writer that came first makes the connect fail with ERROR_PIPE_CONNECTED: fine.
    if (!ConnectNamedPipe(pipe, NULL) && GetLastError() != ERROR_PIPE_CONNECTED) {
        CloseHandle(pipe);
        return figures;
    }
    std::vector<BYTE> buffer(BLOCK_BYTES);
    DWORD got = 0;
    while (ReadFile(pipe, buffer.data(), BLOCK_BYTES, &got, NULL)) {
        if (got == 0)
            continue;
        const double now = NowSeconds();
        if (figures.reads == 0) {
            figures.firstReadAt = now;
            figures.firstReadBytes = got;
        }
        figures.lastReadAt = now;
        figures.bytes += got;
        ++figures.reads;
    }
    // The writer closing its end is the normal way out.
    figures.ok = GetLastError() == ERROR_BROKEN_PIPE;
    DisconnectNamedPipe(pipe);
    CloseHandle(pipe);
    return figures;
}
