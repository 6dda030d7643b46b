// Whether the far end of a pipe has been closed, read from the pipe's local
// state. A host that is killed or crashes closes its end without disconnecting,
// and the handle-state query keeps succeeding on ours; the local state says
// "closing" at once.
#pragma once
#include <windows.h>

// True once the other end is closed or disconnected; false while it is there,
// and false too when the system cannot say (no such query in this ntdll).
bool PipeFarEndClosed(HANDLE pipe);
