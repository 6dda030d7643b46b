// The writer's end of a pipe, in this process.
#pragma once
#include <windows.h>
#include <string>

// Retries while the pipe is missing or busy; INVALID_HANDLE_VALUE after `limitMs`.
HANDLE ConnectPipe(const std::wstring& name, DWORD limitMs);
// One blocking WriteFile of all `size` bytes; `blockedMs` is how long it took.
bool WriteTimed(HANDLE pipe, const void* data, DWORD size, double& blockedMs);
