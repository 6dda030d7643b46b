// zelmoor_feeder: keeps every mapped channel fed from its source, whichever
// channel a host selects, until Ctrl+C or, as a service, until the service stops.
#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "channel_roster.h"
#include "clock.h"
#include "command_policy.h"
#include "console_screen.h"
#include "console_stop.h"
#include "driver_gate.h"
#include "feeder_exit_codes.h"
#include "feeder_options.h"
#include "feeder_role.h"
#include "feeder_stop.h"
#include "log_file.h"
#include "map_wait.h"
#include "service_account.h"
#include "service_host.h"
#include "service_install.h"
#include "service_logon_check.h"
#include "map_reload.h"
#include "trust_check.h"
#include "status_board.h"
#include "status_server.h"
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
// A service has 2 s in all to stop: the workers get most of it, the map watch, gate and summary the rest.
const DWORD  SERVICE_WORKERS_STOP_MS = 1400;
const DWORD  SERVICE_GATE_STOP_MS = 300;
const DWORD  PROGRAM_PATH_CHARS = 32768;
// The map's thread waits on the stop event wherever it waits; reading a map is quick.
const DWORD  RELOADER_STOP_MS = 1000;
const DWORD  SERVICE_RELOADER_STOP_MS = 150;
// The page's thread only waits on its sockets and, briefly, the board's lock.
const DWORD  STATUS_STOP_MS = 300;

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
bool StopAll(MapReloader* reloader, ChannelRoster* roster, DriverGate* gate, StatusBoard* board,
             StatusServer* status)
{
    const bool service = CurrentFeederRole() == FeederRole::SERVICE;
    const bool statusEnded = status->Stop(STATUS_STOP_MS);
    if (!statusEnded)
        std::fprintf(stderr, "zelmoor_feeder: the status page did not stop within %lu ms; ending without it\n",
                     STATUS_STOP_MS);
    const DWORD gateStopMs = service ? SERVICE_GATE_STOP_MS : GATE_STOP_MS;
    SetEvent(g_hStop);
    const DWORD reloaderStopMs = service ? SERVICE_RELOADER_STOP_MS : RELOADER_STOP_MS;
    const bool reloaderEnded = reloader->Join(reloaderStopMs);
    if (!reloaderEnded)
        std::fprintf(stderr, "zelmoor_feeder: the map watch did not stop within %lu ms; ending without it\n",
                     reloaderStopMs);
    const bool workersEnded = roster->Stop(service ? SERVICE_WORKERS_STOP_MS : WORKERS_STOP_MS);
    const bool gateEnded = gate->Join(gateStopMs);
    if (!gateEnded)
        std::fprintf(stderr, "zelmoor_feeder: the driver watch did not stop within %lu ms; ending without it\n",
                     gateStopMs);
    board->Summary();   // bounded too: it gives up on output that is blocked
    SetEvent(g_hFinished);
    return reloaderEnded && workersEnded && gateEnded && statusEnded;
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

// Said once where the user will look: standard error, or the event log for a service.
void TellTrouble(const std::string& why)
{
    if (CurrentFeederRole() == FeederRole::SERVICE)
        ReportToEventLog("zelmoor_feeder: " + why, EVENTLOG_WARNING_TYPE);
    else
        std::fprintf(stderr, "zelmoor_feeder: %s\n", why.c_str());
}

std::string StatusPageLine(const StatusEndpoint& endpoint)
{
    const std::string at = endpoint.address + ":" + std::to_string(endpoint.port);
    std::string line = "status page at http://" + at + "/ (for scripts /status.json, for Prometheus /metrics)";
    if (!IsLoopbackEndpoint(endpoint))
        line += "; warning: anyone who can reach " + at + " sees the channel list and its sources";
    return line;
}

// The status page, when asked for. False when a console run must end for want of it;
// a service goes on without it, and says so where its user looks.
bool StartStatusPage(const FeederOptions& options, StatusBoard* board, StatusServer* status)
{
    if (!options.statusPage)
        return true;
    std::string why;
    if (status->Start(options.statusEndpoint, &why)) {
        board->Note(StatusPageLine(options.statusEndpoint));
        return true;
    }
    if (CurrentFeederRole() != FeederRole::SERVICE) {
        std::fprintf(stderr, "zelmoor_feeder: --status: %s\n", why.c_str());
        return false;
    }
    const std::string line = "no status page: " + why + "; the channels are fed without it";
    ReportToEventLog("zelmoor_feeder: " + line, EVENTLOG_WARNING_TYPE);
    board->Note(line);
    return true;
}

int Run(const FeederOptions& options)
{
    g_pConsoleStop = new ConsoleStop(g_hStop);
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);   // fails harmlessly without a console
    std::unique_ptr<BoardScreen> screen;
    if (HANDLE console = ConsoleScreen::StandardConsole())
        screen.reset(new ConsoleScreen(console));
    StatusBoard board(options.mappings, std::move(screen));
    if (!options.logPath.empty())
        board.SetLog(std::unique_ptr<LogFile>(new LogFile(options.logPath, TellTrouble)));
    DriverGate gate;
    ChannelRoster roster(&board, &gate);
    // A reloaded map passes the same rule as the map the feeder started with.
    const bool allowCommands = options.allowCommands;
    MapReloader reloader(options, &roster, &board, [allowCommands, trust = ReloadTrust(options)](
                                                       const std::vector<ChannelMapping>& mappings,
                                                       std::string* why) mutable {
        return !MapRefusedForThisRun(allowCommands, mappings, why) && trust(mappings, why);
    });
    StatusServer status(&board);
    // First, so that a console run whose page cannot be had starts nothing and sums up nothing.
    if (!StartStatusPage(options, &board, &status))
        return FEEDER_EXIT_USAGE;
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
    if (!StopAll(&reloader, &roster, &gate, &board, &status)) {
        // A thread still running uses the board, the gate or the roster: end before they are freed.
        std::fflush(nullptr);
        // A service that ends without saying it stopped is taken for a crash, and restarted.
        ReportServiceStopped(code);
        ExitProcess(static_cast<UINT>(code));
    }
    return code;
}

std::string ProgramPath()
{
    std::wstring path(PROGRAM_PATH_CHARS, L'\0');
    path.resize(GetModuleFileNameW(NULL, &path[0], PROGRAM_PATH_CHARS));
    return Narrow(path);
}

int Install(const FeederOptions& options)
{
    ServiceAccount account;
    std::string why;
    if (!ParseServiceAccount(options.serviceAccount, &account, &why)) {
        std::fprintf(stderr, "zelmoor_feeder: %s\n", why.c_str());
        return FEEDER_EXIT_USAGE;
    }
    // Checked before the password is asked for: a refusal should not waste the typing.
    const std::string trouble = ServiceInstallTrouble(options);
    if (!trouble.empty()) {
        std::fprintf(stderr, "zelmoor_feeder: %s\n", trouble.c_str());
        return FEEDER_EXIT_USAGE;
    }
    const std::string untrusted = InstallTrustTrouble(options, account);
    if (!untrusted.empty()) {
        std::fprintf(stderr, "zelmoor_feeder: not installed: %s\n", untrusted.c_str());
        return FEEDER_EXIT_SERVICE;
    }
    std::string note;
    if (AccountNeedsPassword(account) && (!ReadServicePassword(account.name, &account.password, &why)
                                          || !CheckServicePassword(account, &why, &note))) {
        SecureZeroMemory(&account.password[0], account.password.size());
        std::fprintf(stderr, "zelmoor_feeder: %s\n", why.c_str());
        return FEEDER_EXIT_USAGE;
    }
    if (!note.empty())
        std::fprintf(stderr, "zelmoor_feeder: warning: %s\n", note.c_str());
    const ServiceOutcome outcome = InstallService(options, account, ProgramPath());
    SecureZeroMemory(&account.password[0], account.password.size());
    std::fprintf(outcome.ok ? stdout : stderr, "zelmoor_feeder: %s\n", outcome.message.c_str());
    return outcome.ok ? FEEDER_EXIT_OK : FEEDER_EXIT_SERVICE;
}

int Remove()
{
    const ServiceOutcome outcome = RemoveService();
    std::fprintf(outcome.ok ? stdout : stderr, "zelmoor_feeder: %s\n", outcome.message.c_str());
    return outcome.ok ? FEEDER_EXIT_OK : FEEDER_EXIT_SERVICE;
}

// Said where a service's user looks: its log and the event log.
void SayAsService(const std::string& logPath, const std::string& line, WORD type)
{
    ReportToEventLog("zelmoor_feeder: " + line, type);
    if (!logPath.empty())
        LogFile(logPath, TellTrouble).Append({line}, LogDateAndTime());
}

// The service's run: a map it cannot read yet is waited for, and what the install
// allowed is checked again, as the map may have changed since.
int RunService(FeederOptions options, ParseOutcome outcome, bool mapFileUnreadable,
               const std::vector<std::string>& args)
{
    // The log comes first on the stored command line, so it is known even when a map is not.
    const std::string logPath = options.logPath;
    const auto body = [&](const std::function<void()>& running) -> int {
        const MapWaitNotice say = [&](const std::string& line) {
            SayAsService(logPath, line, EVENTLOG_WARNING_TYPE);
        };
        if (mapFileUnreadable) {
            running();      // the wait may be long: a stop must be able to end it
            if (!AwaitReadableMap(args, g_hStop, say, &options, &outcome))
                return FEEDER_EXIT_OK;      // stopped while waiting
        }
        std::string why = outcome.message;
        int code = FEEDER_EXIT_OK;
        if (outcome.kind != ParseOutcome::RUN || MapRefusedForThisRun(options.allowCommands, options.mappings, &why))
            code = FEEDER_EXIT_USAGE;
        else if (UntrustedForThisRun(options, options.mappings, &why))
            code = FEEDER_EXIT_SERVICE;
        if (code == FEEDER_EXIT_OK) {
            running();
            return Run(options);
        }
        SayAsService(logPath, "not started: " + why, EVENTLOG_ERROR_TYPE);
        return code;
    };
    int served = FEEDER_EXIT_OK;
    DWORD error = 0;
    if (!RunAsService(body, g_hStop, &served, &error)) {
        std::fprintf(stderr, "zelmoor_feeder: --service is for the service manager, which did not start this"
                             " program (%s); run it without --service, or install it with --install-service\n",
                     SystemErrorText(error).c_str());
        return FEEDER_EXIT_SERVICE;
    }
    return served;
}

bool MakeStopEvents()
{
    g_hStop = CreateEventW(NULL, TRUE, FALSE, NULL);
    g_hFinished = CreateEventW(NULL, TRUE, FALSE, NULL);
    if (g_hStop != NULL && g_hFinished != NULL)
        return true;
    std::fprintf(stderr, "zelmoor_feeder: cannot make the stop events (%s)\n", SystemErrorText(GetLastError()).c_str());
    return false;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    FeederOptions options;
    bool mapFileUnreadable = false;
    const std::vector<std::string> args = NarrowArguments(argc, argv);
    const ParseOutcome outcome = ParseFeederOptions(args, &options, &mapFileUnreadable);
    if (!args.empty() && args[0] == SERVICE_RUN_SWITCH) {
        SetFeederRole(FeederRole::SERVICE);
        return MakeStopEvents() ? RunService(options, outcome, mapFileUnreadable, args) : FEEDER_EXIT_START;
    }
    if (outcome.kind == ParseOutcome::HELP) {
        std::fputs(FeederHelpText(), stdout);
        return FEEDER_EXIT_OK;
    }
    if (outcome.kind == ParseOutcome::USAGE_ERROR) {
        std::fprintf(stderr, "zelmoor_feeder: %s (try --help)\n", outcome.message.c_str());
        return mapFileUnreadable ? FEEDER_EXIT_MAP_FILE : FEEDER_EXIT_USAGE;
    }
    if (options.service == ServiceMode::INSTALL)
        return Install(options);
    if (options.service == ServiceMode::REMOVE)
        return Remove();
    return MakeStopEvents() ? Run(options) : FEEDER_EXIT_START;
}
