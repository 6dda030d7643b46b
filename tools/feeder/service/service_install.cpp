#include "service_install.h"

#include "command_policy.h"
#include "sc_handle.h"
#include "service_command.h"
#include "service_logon_right.h"
#include "service_paths.h"
#include "system_error.h"
#include "url_password.h"
#include "wide.h"

const wchar_t SERVICE_NAME[] = L"ZelmoorFeeder";
const wchar_t SERVICE_DISPLAY_NAME[] = L"Zelmoor feeder";
const char    SERVICE_LOG_FILE_NAME[] = "zelmoor_feeder.log";

namespace {

const wchar_t SERVICE_DESCRIPTION[] = L"Feeds the Zelmoor driver's channels from their sources whenever a host "
                                      L"selects one.";
// Restarts after a crash or an exit with an error: soon, then more slowly, counted anew after a day without one.
const DWORD   RESTART_DELAYS_MS[] = {5000, 15000, 60000};
const DWORD   FAILURE_RESET_SECONDS = 24 * 3600;
const DWORD   REMOVE_STOP_WAIT_MS = 10000;   // the service itself stops within 2 s
const DWORD   REMOVE_POLL_MS = 100;
const char    STANDARD_INPUT[] = "-";

ServiceOutcome Failed(const std::string& doing, DWORD error)
{
    return ServiceOutcome{false, ServiceManagerErrorText(doing, error)};
}

std::string FolderOf(const std::string& path)
{
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

bool SetFailureActions(SC_HANDLE service)
{
    SC_ACTION actions[ARRAYSIZE(RESTART_DELAYS_MS)];
    for (size_t i = 0; i < ARRAYSIZE(RESTART_DELAYS_MS); ++i)
        actions[i] = SC_ACTION{SC_ACTION_RESTART, RESTART_DELAYS_MS[i]};
    SERVICE_FAILURE_ACTIONSW failure = {};
    failure.dwResetPeriod = FAILURE_RESET_SECONDS;
    failure.cActions = ARRAYSIZE(actions);
    failure.lpsaActions = actions;
    return ChangeServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS, &failure) != FALSE;
}

// Without this the actions apply to crashes only, not to a stop that reports an error code.
bool SetFailureActionsOnErrorExit(SC_HANDLE service)
{
    SERVICE_FAILURE_ACTIONS_FLAG flag = {TRUE};
    return ChangeServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, &flag) != FALSE;
}

void SetDescription(SC_HANDLE service)
{
    SERVICE_DESCRIPTIONW description = {const_cast<wchar_t*>(SERVICE_DESCRIPTION)};
    ChangeServiceConfig2W(service, SERVICE_CONFIG_DESCRIPTION, &description);   // only a nicety
}

bool WaitStopped(SC_HANDLE service)
{
    const ULONGLONG deadline = GetTickCount64() + REMOVE_STOP_WAIT_MS;
    SERVICE_STATUS status = {};
    while (QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_STOPPED) {
        if (GetTickCount64() >= deadline)
            return false;
        Sleep(REMOVE_POLL_MS);
    }
    return true;
}

std::string PasswordOnCommandLine(const std::vector<std::string>& args)
{
    for (const std::string& arg : args)
        if (!arg.empty() && arg[0] != '-' && MaskUrlPassword(arg) != arg)
            return "'" + MaskUrlPassword(arg) + "': the service's command line is stored where every user can"
                   " read it, so a URL password on it would be seen; put the mapping in a map file (--map)"
                   " that only administrators can read";
    return "";
}

std::string MapPathTrouble(const std::string& mapPath)
{
    if (mapPath == STANDARD_INPUT)
        return "a service has no standard input to read its map from: give --map an absolute file path";
    if (!IsAbsolutePath(mapPath))
        return "--map '" + mapPath + "' must be an absolute path for a service, which does not start in"
               " this folder (C:\\ProgramData\\Zelmoor\\channels.txt, not channels.txt)";
    return "";
}

} // namespace

SC_HANDLE OpenLocalServiceManager(DWORD access)
{
    return OpenSCManagerW(NULL, NULL, access);
}

std::string ServiceManagerErrorText(const std::string& doing, DWORD error)
{
    std::string text = "cannot " + doing + " (" + SystemErrorText(error) + ")";
    if (error == ERROR_ACCESS_DENIED)
        text += ": installing or removing a service needs administrator rights; run it from a command prompt"
                " started with \"Run as administrator\"";
    else if (error == ERROR_SERVICE_EXISTS || error == ERROR_DUPLICATE_SERVICE_NAME)
        text += ": the service ZelmoorFeeder is already installed; to change how it runs, remove it first with"
                " zelmoor_feeder.exe --remove-service, then install it again";
    else if (error == ERROR_SERVICE_DOES_NOT_EXIST)
        text += ": the service ZelmoorFeeder is not installed";
    else if (error == ERROR_SERVICE_MARKED_FOR_DELETE)
        text += ": the service is still being removed; close the Services console and try again";
    return text;
}

std::string DefaultServiceLogPath(const std::string& mapPath, const std::string& exe)
{
    const std::string beside = mapPath.empty() ? exe : mapPath;
    return FolderOf(beside) + "\\" + SERVICE_LOG_FILE_NAME;
}

std::string ServiceInstallTrouble(const FeederOptions& options)
{
    for (const std::string& mapPath : options.mapPaths) {
        const std::string trouble = MapPathTrouble(mapPath);
        if (!trouble.empty())
            return trouble;
    }
    if (!options.logPath.empty() && !IsAbsolutePath(options.logPath))
        return "--log '" + options.logPath + "' must be an absolute path for a service";
    std::string why;
    if ((!options.allowCommands && CommandsRefused(options.mappings, &why))
        || RelativeFileRefused(options.mappings, &why))
        return why;
    return PasswordOnCommandLine(options.args);
}

ServiceOutcome InstallService(const FeederOptions& options, const ServiceAccount& account, const std::string& exe,
                              const ServiceManagerOpener& open)
{
    const std::string trouble = ServiceInstallTrouble(options);
    if (!trouble.empty())
        return ServiceOutcome{false, trouble};
    const std::string logPath = options.logPath.empty() ? DefaultServiceLogPath(options.mapPath, exe)
                                                        : options.logPath;
    ScHandle manager(open(SC_MANAGER_CREATE_SERVICE));
    if (manager.Get() == NULL)
        return Failed("open the service manager", GetLastError());
    const std::wstring command = Widen(ServiceCommandLine(exe, options.args, logPath));
    const std::wstring user = Widen(account.name);
    std::wstring password = Widen(account.password);
    ScHandle service(CreateServiceW(manager.Get(), SERVICE_NAME, SERVICE_DISPLAY_NAME, SERVICE_ALL_ACCESS,
                                    SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                                    command.c_str(), NULL, NULL, NULL, user.empty() ? NULL : user.c_str(),
                                    user.empty() ? NULL : password.c_str()));
    const DWORD createError = GetLastError();
    SecureZeroMemory(&password[0], password.size() * sizeof(wchar_t));   // the manager keeps its own copy
    if (service.Get() == NULL)
        return Failed("install the service ZelmoorFeeder", createError);
    SetDescription(service.Get());
    std::string message = "installed the service ZelmoorFeeder (\"Zelmoor feeder\"), starting automatically as "
                        + (account.name.empty() ? std::string("LocalSystem") : account.name) + ", logging to "
                        + logPath + "; start it now with: sc start ZelmoorFeeder";
    if (!SetFailureActions(service.Get()))
        message += "\nwarning: " + ServiceManagerErrorText("ask for a restart after a crash", GetLastError());
    else if (!SetFailureActionsOnErrorExit(service.Get()))
        message += "\nwarning: " + ServiceManagerErrorText("ask for a restart after an exit with an error",
                                                           GetLastError());
    DWORD error = 0;
    if (!account.name.empty() && !GrantServiceLogonRight(account.name, &error))
        message += "\nwarning: cannot give " + account.name + " the right to log on as a service ("
                 + SystemErrorText(error) + "); grant it in Local Security Policy, or the service will not start";
    return ServiceOutcome{true, message};
}

ServiceOutcome RemoveService(const ServiceManagerOpener& open)
{
    ScHandle manager(open(SC_MANAGER_CONNECT));
    if (manager.Get() == NULL)
        return Failed("open the service manager", GetLastError());
    ScHandle service(OpenServiceW(manager.Get(), SERVICE_NAME, SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE));
    if (service.Get() == NULL)
        return Failed("open the service ZelmoorFeeder", GetLastError());
    SERVICE_STATUS status = {};
    // Not running is fine: ControlService then answers ERROR_SERVICE_NOT_ACTIVE.
    ControlService(service.Get(), SERVICE_CONTROL_STOP, &status);
    const bool stopped = WaitStopped(service.Get());
    if (!DeleteService(service.Get()))
        return Failed("remove the service ZelmoorFeeder", GetLastError());
    return ServiceOutcome{true, stopped ? "stopped and removed the service ZelmoorFeeder"
                                        : "removed the service ZelmoorFeeder; it had not stopped within 10 s and"
                                          " goes once it has"};
}
