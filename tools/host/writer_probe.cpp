#include "writer_probe.h"

#include <windows.h>

#include "pipe_name.h"

namespace {

// A listening instance answers at once; a connected one makes the wait run out.
const DWORD PROBE_WAIT_MS = 50;

} // namespace

bool WriterHoldsPipe(uint32_t channel)
{
    return !WaitNamedPipeW(PipeNameForChannel(channel).c_str(), PROBE_WAIT_MS)
        && GetLastError() == ERROR_SEM_TIMEOUT;
}
