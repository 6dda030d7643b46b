// zelmoor_feeder: keeps every mapped channel fed from its source, whichever
// channel a host selects, until Ctrl+C.
#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "channel_roster.h"
#include "clock.h"
#include "console_screen.h"
#include "console_stop.h"
#include "driver_gate.h"
#include "feeder_exit_codes.h"
#include "feeder_options.h"
#include "feeder_stop.h"
#include "map_reload.h"
#include "status_board.h"
#include "system_error.h"
#include "wide.h"

namespace {

const DWORD  REFRESH_MS = 1000;
const double MS_PER_SECOND = 1000.0;
// The system ends the process when the handler of a closing console returns, and
// allows it about five seconds: enough to close the sources and print the summary.
const DWORD  CLOSE_GRACE_MS = 4000;

// The gate's thread only looks for a mutex: it ends at once unless the system is stuck.
const DWORD  GATE_STOP_MS = 1000;
// The map's thread waits on the stop event wherever it waits; reading a map is quick.
const DWORD  RELOADER_STOP_MS = 1000;

HANDLE       g_hStop = NULL;        // set by the console's handler thread; every worker waits on it
HANDLE       g_hFinished = NULL;    // set once the summary is out
ConsoleStop* g_pConsoleStop = NULL; // made before the handler is installed, never freed

BOOL WINAPI OnConsoleEvent(DWORD event)
{
    switch (g_pConsoleStop->OnEvent(event)) {
    case ConsoleAction::NOT_OURS:
        return FALSE;
    case ConsoleAction::END_NOW:
        // No output and no clean-up: either may be what holds the stop. The job object
        // still ends the programs of cmd: sources.
        TerminateProcess(GetCurrentProcess(), FEEDER_EXIT_INTERRUPTED);
        return TRUE;
    case ConsoleAction::STOP_AND_WAIT:
        WaitForSingleObject(g_hFinished, CLOSE_GRACE_MS);
        return TRUE;
    default:
        return TRUE;
    }
}

// Stops every thread within its bound; false when one of them is still running.
bool StopAll(MapReloader* reloader, ChannelRoster* roster, DriverGate* gate, StatusBoard* board)
{
    SetEvent(g_hStop);
    const bool reloaderEnded = reloader->Join(RELOADER_STOP_MS);
    if (!reloaderEnded)
        std::fprintf(stderr, "zelmoor_feeder: the map watch did not stop within %lu ms; ending without it\n",
                     RELOADER_STOP_MS);
    const bool workersEnded = roster->Stop(WORKERS_STOP_MS);
    const bool gateEnded = gate->Join(GATE_STOP_MS);
    if (!gateEnded)
        std::fprintf(stderr, "zelmoor_feeder: the driver watch did not stop within %lu ms; ending without it\n",
                     GATE_STOP_MS);
    board->Summary();   // bounded too: it gives up on output that is blocked
    SetEvent(g_hFinished);
    return reloaderEnded && workersEnded && gateEnded;
}

// Waits for Ctrl+C or the time limit, refreshing the status lines meanwhile.
void RunUntilStopped(StatusBoard* board, double seconds)
{
    const Stopwatch clock;
    for (;;) {
        DWORD waitMs = REFRESH_MS;
        if (seconds > 0.0) {
            const double left = seconds - clock.Seconds();
            if (left <= 0.0)
                return;
            waitMs = left * MS_PER_SECOND < REFRESH_MS ? static_cast<DWORD>(left * MS_PER_SECOND) + 1 : REFRESH_MS;
        }
        if (WaitForSingleObject(g_hStop, waitMs) == WAIT_OBJECT_0)
            return;
        board->Refresh();
    }
}

int Run(const FeederOptions& options)
{
    g_hStop = CreateEventW(NULL, TRUE, FALSE, NULL);
    g_hFinished = CreateEventW(NULL, TRUE, FALSE, NULL);
    g_pConsoleStop = new ConsoleStop(g_hStop);
    if (g_hStop == NULL || g_hFinished == NULL) {
        std::fprintf(stderr, "zelmoor_feeder: cannot make the stop events (%s)\n", SystemErrorText(GetLastError()).c_str());
        return FEEDER_EXIT_START;
    }
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);   // fails harmlessly without a console
    std::unique_ptr<BoardScreen> screen;
    if (HANDLE console = ConsoleScreen::StandardConsole())
        screen.reset(new ConsoleScreen(console));
    StatusBoard board(options.mappings, std::move(screen));
    DriverGate gate;
    ChannelRoster roster(&board, &gate);
    // No vetting here: every map that parses is taken.
    MapReloader reloader(options, &roster, &board, MapVetting());
    int code = FEEDER_EXIT_OK;
    std::string why;
    if (!board.Start()) {
        std::fprintf(stderr, "zelmoor_feeder: cannot start writing the status (%s)\n",
                     SystemErrorText(GetLastError()).c_str());
        code = FEEDER_EXIT_START;
    } else if (!gate.Start(g_hStop)) {
        std::fprintf(stderr, "zelmoor_feeder: cannot start looking for the driver (%s)\n",
                     SystemErrorText(GetLastError()).c_str());
        code = FEEDER_EXIT_START;
    } else if (!roster.Start(options.mappings, &why)
               || (!options.watchedMap.empty() && !reloader.Start(g_hStop, &why))) {
        std::fprintf(stderr, "zelmoor_feeder: %s\n", why.c_str());
        code = FEEDER_EXIT_START;
    }
    if (code == FEEDER_EXIT_OK)
        RunUntilStopped(&board, options.seconds);
    if (!StopAll(&reloader, &roster, &gate, &board)) {
        // A thread still running uses the board, the gate or the roster: end before they are freed.
        std::fflush(nullptr);
        ExitProcess(static_cast<UINT>(code));
    }
    return code;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    FeederOptions options;
    bool mapFileUnreadable = false;
    const ParseOutcome outcome = ParseFeederOptions(NarrowArguments(argc, argv), &options, &mapFileUnreadable);
    if (outcome.kind == ParseOutcome::HELP) {
        std::fputs(FeederHelpText(), stdout);
        return FEEDER_EXIT_OK;
    }
    if (outcome.kind == ParseOutcome::USAGE_ERROR) {
        std::fprintf(stderr, "zelmoor_feeder: %s (try --help)\n", outcome.message.c_str());
        return mapFileUnreadable ? FEEDER_EXIT_MAP_FILE : FEEDER_EXIT_USAGE;
    }
    return Run(options);
}
