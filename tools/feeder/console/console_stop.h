// What a console event asks of the feeder: the first Ctrl+C stops it cleanly,
// closing every source; a second one, while that stop is under way, ends it at
// once. Kept apart from the handler so that tests can ask twice.
#pragma once
#include <windows.h>

enum class ConsoleAction {
    NOT_OURS,       // let the next handler have it
    STOP,           // the stop event is set; carry on
    STOP_AND_WAIT,  // the console is closing: set, and hold the handler until the summary is out
    END_NOW,        // asked again: the process ends at once
};

class ConsoleStop {
public:
    explicit ConsoleStop(HANDLE hStop) : m_hStop(hStop) {}
    // Called on the console's handler thread; sets the stop event where it applies.
    ConsoleAction OnEvent(DWORD event);

private:
    HANDLE          m_hStop;
    volatile LONG   m_lInterrupts = 0;   // Ctrl+C and Ctrl+Break so far
};
