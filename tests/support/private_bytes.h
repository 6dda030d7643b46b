// Committed private memory of a process, for growth checks.
#pragma once
#include <windows.h>

// Wine leaves the process counters' PrivateUsage at 0; the address space is
// walked then instead. `process` needs query and read rights.
SIZE_T CommittedPrivateBytes(HANDLE process = GetCurrentProcess());
