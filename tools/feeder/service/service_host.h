// The feeder under the service manager: the dispatcher, the control handler and
// the states it reports, around the same run as on a console.
#pragma once
#include <windows.h>

#include <functional>
#include <string>

// Time a running service has to end after a stop or shutdown: what it tells the manager.
const DWORD SERVICE_STOP_HINT_MS = 2000;

// The service's work: it calls `running` once its start-up checks have passed (or
// before a wait that a stop must be able to end), and returns its exit code.
using ServiceBody = std::function<int(const std::function<void()>& running)>;

// Runs `body` as the service's work and returns its exit code once the service has
// stopped; a stop or shutdown sets hStop. Until the body calls `running` the manager
// sees the start pending, so a start that fails its checks never shows as running.
// False with *error when this process was not started by the service manager.
bool RunAsService(const ServiceBody& body, HANDLE hStop, int* code, DWORD* error);

// Tells the manager the service has stopped, for a process about to end without
// returning from the run (a channel overran the stop); does nothing outside a service.
void ReportServiceStopped(int code);

// A line in the system's Application event log, under the service's name.
void ReportToEventLog(const std::string& text, WORD type);
