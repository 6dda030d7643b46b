// Ostrel: shows how the performance counter, the tick count and the multimedia
// timer drift against each other, one line rewritten in place every second.
#include "clock_loop.h"
#include "win32_clock_platform.h"

int main(int argc, char** argv)
{
    CWin32ClockPlatform platform;
    return RunClockTool(platform, argc, argv);
}
