#include "pipe_client.h"
#include "bench_clock.h"
#include "bench_config.h"

namespace {
constexpr DWORD CONNECT_RETRY_MS = 2;
}

HANDLE ConnectPipe(const std::wstring& name, DWORD limitMs)
{
    const double deadline = NowSeconds() + limitMs / MS_PER_SECOND;
    for (;;) {
        // An inbound pipe admits write access only.
        HANDLE pipe = CreateFileW(name.c_str(), GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
        if (pipe != INVALID_HANDLE_VALUE || NowSeconds() >= deadline)
            return pipe;
        Sleep(CONNECT_RETRY_MS);
    }
}

bool WriteTimed(HANDLE pipe, const void* data, DWORD size, double& blockedMs)
{
    DWORD written = 0;
    const double start = NowSeconds();
    const BOOL ok = WriteFile(pipe, data, size, &written, NULL);
    blockedMs = (NowSeconds() - start) * MS_PER_SECOND;
    return ok && written == size;
}
