// The fixed texts and exit codes of the clock tool.
#pragma once

#include <windows.h>

const char PIN_DONE_TEXT[]     = "SetThreadAffinityMask Done.\n";
const char NO_COUNTER_TEXT[]   = "Error: Initialize QueryPerformanceCounter\n";
const char HEADER_TEXT[]       = "[QueryPerformanceCounter], [GetTickCount], [timeGetTime]\n";
// Blanks out what a longer previous line left behind; the carriage return lets the next pass overwrite it.
const char PASS_END_TEXT[]     = "     \r";

const DWORD PASS_INTERVAL_MS   = 1000;

const int EXIT_NO_COUNTER      = 1;
const int EXIT_COUNTER_FAILED  = 2;
