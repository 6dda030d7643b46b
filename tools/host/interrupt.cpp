#include "interrupt.h"

#include <windows.h>

namespace {

volatile LONG g_lInterrupted = 0;   // set by the console's handler thread, read by the drain loop

BOOL WINAPI OnConsoleEvent(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return FALSE;
    InterlockedExchange(&g_lInterrupted, 1);
    return TRUE;
}

} // namespace

void InstallInterruptHandler()
{
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

bool WasInterrupted()
{
    return InterlockedCompareExchange(&g_lInterrupted, 0, 0) != 0;
}
