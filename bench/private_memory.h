// Private bytes as the commit charge of this process's private memory, summed over
// its address space; Wine's PrivateUsage counter stays 0, this does not.
#pragma once
#include <windows.h>

SIZE_T CommittedPrivateBytes();
