// What the design allows for bulk writes: 16 reads of 48,128 bytes per push-worker sleep.
#pragma once
#include <windows.h>

// Median duration of `samples` calls of Sleep(ms), in milliseconds.
double MeasureSleepMs(DWORD ms, int samples);
double DesignCeilingBytesPerSecond(double sleepMs);
