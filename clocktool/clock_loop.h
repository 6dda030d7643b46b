// The clock tool from start-up to exit: it only ends when the counter fails.
#pragma once

#include "clock_platform.h"

int RunClockTool(IClockPlatform& platform, int argc, const char* const* argv);
