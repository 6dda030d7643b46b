// Registering and removing the feeder's service with the service manager.
#pragma once
#include <windows.h>

#include <functional>
#include <string>

#include "feeder_options.h"
#include "service_account.h"

extern const wchar_t SERVICE_NAME[];            // "ZelmoorFeeder"
extern const wchar_t SERVICE_DISPLAY_NAME[];    // "Zelmoor feeder"
extern const char    SERVICE_LOG_FILE_NAME[];   // beside the map, or the program

// Opens the service manager with the access asked for; null with the last error
// set. The real one, or a test's stand-in (Wine always runs as an administrator).
typedef std::function<SC_HANDLE(DWORD access)> ServiceManagerOpener;
SC_HANDLE OpenLocalServiceManager(DWORD access);

struct ServiceOutcome {
    bool        ok = false;
    std::string message;        // what was done, or why not and what to do
};

// What would make the installed service fail or unsafe, found before anything is
// registered: any --map that is relative or standard input, a relative log, a
// relative file: path, cmd: sources not allowed, a URL password on the command
// line. Empty when the install may go on.
std::string ServiceInstallTrouble(const FeederOptions& options);
// The log's path when --log is not given: beside the map, or beside the program.
std::string DefaultServiceLogPath(const std::string& mapPath, const std::string& exe);
// A service manager's refusal in words, with what to do for the usual ones.
std::string ServiceManagerErrorText(const std::string& doing, DWORD error);

ServiceOutcome InstallService(const FeederOptions& options, const ServiceAccount& account, const std::string& exe,
                              const ServiceManagerOpener& open = OpenLocalServiceManager);
// Stops the service if it runs, then removes it.
ServiceOutcome RemoveService(const ServiceManagerOpener& open = OpenLocalServiceManager);
