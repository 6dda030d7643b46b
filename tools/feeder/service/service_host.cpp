#include "service_host.h"

#include "service_install.h"
#include "wide.h"

namespace {

const DWORD START_HINT_MS = 3000;

// The dispatcher calls back with no context of its own: the run is kept here.
struct ServiceRun {
    ServiceBody             body;
    HANDLE                  hStop = NULL;
    SERVICE_STATUS_HANDLE   hStatus = NULL;
    int                     code = 0;
    DWORD                   checkPoint = 0;
};
ServiceRun g_run;

void Report(DWORD state, DWORD hintMs, int code = 0)
{
    SERVICE_STATUS status = {};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
    status.dwWin32ExitCode = code == 0 ? NO_ERROR : ERROR_SERVICE_SPECIFIC_ERROR;
    status.dwServiceSpecificExitCode = static_cast<DWORD>(code);
    const bool pending = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING;
    status.dwCheckPoint = pending ? ++g_run.checkPoint : 0;
    status.dwWaitHint = hintMs;
    SetServiceStatus(g_run.hStatus, &status);
}

DWORD WINAPI OnControl(DWORD control, DWORD, void*, void*)
{
    switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
        Report(SERVICE_STOP_PENDING, SERVICE_STOP_HINT_MS);
        SetEvent(g_run.hStop);
        return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
        return NO_ERROR;
    default:
        return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

void WINAPI ServiceMain(DWORD, wchar_t**)
{
    g_run.hStatus = RegisterServiceCtrlHandlerExW(SERVICE_NAME, OnControl, NULL);
    if (g_run.hStatus == NULL) {
        g_run.code = -1;
        return;
    }
    Report(SERVICE_START_PENDING, START_HINT_MS);
    bool reported = false;
    g_run.code = g_run.body([&reported] {
        if (!reported)
            Report(SERVICE_RUNNING, 0);
        reported = true;
    });
    Report(SERVICE_STOPPED, 0, g_run.code);
}

} // namespace

bool RunAsService(const ServiceBody& body, HANDLE hStop, int* code, DWORD* error)
{
    g_run.body = body;
    g_run.hStop = hStop;
    SERVICE_TABLE_ENTRYW table[] = {{const_cast<wchar_t*>(SERVICE_NAME), ServiceMain}, {NULL, NULL}};
    if (!StartServiceCtrlDispatcherW(table)) {
        *error = GetLastError();
        return false;
    }
    *code = g_run.code;
    return true;
}

void ReportServiceStopped(int code)
{
    if (g_run.hStatus != NULL)
        Report(SERVICE_STOPPED, 0, code);
}

void ReportToEventLog(const std::string& text, WORD type)
{
    HANDLE source = RegisterEventSourceW(NULL, SERVICE_NAME);
    if (source == NULL)
        return;     // nowhere left to say it
    const std::wstring wide = Widen(text);
    const wchar_t* strings[] = {wide.c_str()};
    ReportEventW(source, type, 0, 0, NULL, 1, 0, strings, NULL);
    DeregisterEventSource(source);
}
