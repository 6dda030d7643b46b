// Committed private memory of this process, for growth checks.
#pragma once
#include <windows.h>

// OwnPrivateBytes (census.h) answers 0 under Wine, whose process counters leave
// PrivateUsage empty; the address space is walked then instead.
SIZE_T CommittedPrivateBytes();
