// Helper process for the failure tests: holds a channel of its own driver
// object ("channel N") or the in-use mutex ("mutex"), and answers one line per
// command read from standard input.
//   inuse   -> 1 or 0 (IsTunerInUse, channel mode)
//   drain   -> draining (a thread takes every block from now on, channel mode)
//   close   -> closed (CloseTuner)
//   release -> 1 or 0 (ReleaseMutex, mutex mode)
//   exit    -> ends the process at once, whatever is still open
// End of input releases everything and ends normally.
#include <windows.h>
#include <cstdlib>
#include <string>
#include "driver_module.h"

namespace {

const wchar_t MUTEX_NAME[] = L"Zelmoor";

void Reply(const std::string& text)
{
    const std::string line = text + "\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written, NULL);
}

constexpr DWORD DRAIN_WAIT_MS = 100;

// Takes blocks until the process ends, as a host's streaming thread does; a
// closed tuner refuses the take and ends it.
DWORD WINAPI Drain(LPVOID param)
{
    IBonDriver2* tuner = static_cast<IBonDriver2*>(param);
    for (;;) {
        tuner->WaitStream(DRAIN_WAIT_MS);
        DWORD remaining = 0;
        do {
            BYTE* data = nullptr;
            DWORD size = 0;
            if (!tuner->TakeStream(&data, &size, &remaining))
                return 0;
        } while (remaining > 0);
    }
}

bool StartDrain(IBonDriver2* tuner)
{
    HANDLE thread = CreateThread(NULL, 0, Drain, tuner, 0, NULL);
    if (thread == NULL)
        return false;
    CloseHandle(thread);
    return true;
}

bool ReadCommand(std::string& command)
{
    command.clear();
    char c = 0;
    DWORD got = 0;
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), &c, 1, &got, NULL) && got == 1) {
        if (c == '\n')
            return true;
        command += c;
    }
    return false;
}

int HoldChannel(DWORD channel)
{
    DriverModule module;
    IBonDriver2* tuner = module.Load() ? module.Create() : nullptr;
    Reply(tuner != nullptr && tuner->SelectChannel(0, channel) ? "open" : "refused");
    std::string command;
    while (ReadCommand(command)) {
        if (command == "inuse")
            Reply(tuner->IsTunerInUse() ? "1" : "0");
        else if (command == "drain")
            Reply(StartDrain(tuner) ? "draining" : "refused");
        else if (command == "close") {
            tuner->CloseTuner();
            Reply("closed");
        } else if (command == "exit")
            ExitProcess(0);     // skips our own clean-up: the module sees a process exit
    }
    return 0;
}

int HoldMutex()
{
    HANDLE mutex = CreateMutexW(NULL, TRUE, MUTEX_NAME);
    Reply(mutex != NULL && GetLastError() != ERROR_ALREADY_EXISTS ? "held" : "refused");
    std::string command;
    while (ReadCommand(command)) {
        if (command == "release")
            Reply(ReleaseMutex(mutex) ? "1" : "0");
        else if (command == "exit")
            ExitProcess(0);
    }
    CloseHandle(mutex);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "channel" && argc > 2)
        return HoldChannel(static_cast<DWORD>(std::atoi(argv[2])));
    if (mode == "mutex")
        return HoldMutex();
    Reply("usage: channel N | mutex");
    return 2;
}
