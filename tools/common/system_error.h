// Windows error numbers with the system's own words beside them.
#pragma once
#include <windows.h>

#include <string>

// "error 2: The system cannot find the file specified" (or just "error N" when
// the system has no text for it).
std::string SystemErrorText(DWORD code);
