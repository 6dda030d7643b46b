// Committed private memory of this process, for growth checks.
#pragma once
#include <windows.h>

// Wine leaves the process counters' PrivateUsage at 0; the address space is
// walked then instead.
SIZE_T CommittedPrivateBytes();
