#include "console_stop.h"

ConsoleAction ConsoleStop::OnEvent(DWORD event)
{
    if (event == CTRL_CLOSE_EVENT) {
        SetEvent(m_hStop);
        return ConsoleAction::STOP_AND_WAIT;
    }
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return ConsoleAction::NOT_OURS;
    if (InterlockedIncrement(&m_lInterrupts) > 1)
        return ConsoleAction::END_NOW;
    SetEvent(m_hStop);
    return ConsoleAction::STOP;
}
