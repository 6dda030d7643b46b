// The end of a thread that an object started and owns.
#pragma once
#include <windows.h>

// True once the thread has ended (or none was started): its handle is closed and
// *hThread NULL. False while it still runs after timeoutMs: the handle is kept.
inline bool JoinThread(HANDLE* hThread, DWORD timeoutMs)
{
    if (*hThread == NULL)
        return true;
    if (WaitForSingleObject(*hThread, timeoutMs) != WAIT_OBJECT_0)
        return false;
    CloseHandle(*hThread);
    *hThread = NULL;
    return true;
}
