// The service test's fixture: a feeder installed as a service in a folder of its own,
// the helpers that read its log and state, and the install's failure settings as asked.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>

#include <aclapi.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "feeder_child.h"
#include "feeder_streams.h"
#include "iat_patch.h"
#include "sc_handle.h"
#include "service_install.h"
#include "switching_host.h"
#include "wait_until.h"

namespace {

const DWORD  INSTALL_DEADLINE_MS = 30000;
const DWORD  SERVICE_STATE_DEADLINE_MS = 15000;
const DWORD  STOP_POLL_MS = 5;
const DWORD  STOP_LIMIT_MS = 2000;
const int    STOPS_MEASURED = 3;
const double VISIT_LIMIT_SECONDS = 20.0;
const DWORD  LOG_LINE_DEADLINE_MS = 15000;
const char   URL_SECRET[] = "urlsecret";
const char   ACCOUNT_PASSWORD[] = "accountsecret";
const char   NOTHING_LISTENS[] = "127.0.0.1:9";    // the discard port: refused at once on loopback
const char   SUMMARY[] = "summary after";
const DWORD  CONFIG_BYTES = 8192;              // a service's configuration with its strings
const char   LOGGED_RUN_SECONDS[] = "8";        // long enough for one visit of a file sent unpaced
const char   WAITING[] = "waiting for the map: cannot read the map file ";
const char   PROGRAM[] = "C:\\Program Files\\Zelmoor\\zelmoor_feeder.exe";

// The failure settings the install hands the service manager. Wine's manager keeps
// none of them (reading them back answers ERROR_INVALID_LEVEL), so they are taken
// on their way there.
std::vector<SC_ACTION> g_askedActions;
BOOL                   g_askedOnErrorExit = FALSE;
void*                  g_changeConfig2 = nullptr;      // the system's ChangeServiceConfig2W

BOOL WINAPI RecordingChangeConfig2(SC_HANDLE service, DWORD level, void* info)
{
    if (level == SERVICE_CONFIG_FAILURE_ACTIONS) {
        const auto* failure = static_cast<SERVICE_FAILURE_ACTIONSW*>(info);
        g_askedActions.assign(failure->lpsaActions, failure->lpsaActions + failure->cActions);
    } else if (level == SERVICE_CONFIG_FAILURE_ACTIONS_FLAG) {
        g_askedOnErrorExit = static_cast<SERVICE_FAILURE_ACTIONS_FLAG*>(info)->fFailureActionsOnNonCrashFailures;
    }
    return reinterpret_cast<decltype(&ChangeServiceConfig2W)>(g_changeConfig2)(service, level, info);
}

std::string TempFolder()
{
    char dir[MAX_PATH + 1];
    GetTempPathA(sizeof dir, dir);
    const std::string folder = std::string(dir) + UniqueName("service");
    CreateDirectoryA(folder.c_str(), NULL);
    return folder;
}

std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

size_t Count(const std::string& text, const std::string& part)
{
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

// Lets Everyone change a file or folder; under Wine that sets the others' write bit.
::testing::AssertionResult LetEveryoneChange(const std::string& path)
{
    PACL dacl = NULL;
    PSECURITY_DESCRIPTOR descriptor = NULL;
    EXPLICIT_ACCESS_W everyone = {};
    BuildExplicitAccessWithNameW(&everyone, const_cast<wchar_t*>(L"Everyone"), GENERIC_ALL, GRANT_ACCESS,
                                 NO_INHERITANCE);
    PACL wider = NULL;
    const std::wstring wide = Widen(path);
    DWORD error = GetNamedSecurityInfoW(wide.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, NULL, NULL, &dacl,
                                        NULL, &descriptor);
    if (error == ERROR_SUCCESS && (error = SetEntriesInAclW(1, &everyone, dacl, &wider)) == ERROR_SUCCESS)
        error = SetNamedSecurityInfoW(const_cast<wchar_t*>(wide.c_str()), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                      NULL, NULL, wider, NULL);
    LocalFree(wider);
    LocalFree(descriptor);
    if (error == ERROR_SUCCESS)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "cannot let Everyone change " << path << ": error " << error;
}

DWORD ServiceState(SC_HANDLE service, SERVICE_STATUS* status)
{
    return QueryServiceStatus(service, status) ? status->dwCurrentState : 0;
}

class FeederService : public ::testing::Test {
protected:
    void SetUp() override
    {
        RemoveService();    // what a failed run may have left; none is fine
        m_folder = TempFolder();
        m_map = m_folder + "\\channels.txt";
        m_log = m_folder + "\\zelmoor_feeder.log";
    }
    void TearDown() override { RemoveService(); }

    void WriteMap(const std::string& text) { std::ofstream(m_map, std::ios::binary) << text; }

    // The feeder's own install; its exit code, with its output in *output.
    DWORD RunFeeder(const std::vector<std::string>& args, std::string* output, const std::string& stdinPath = "")
    {
        ChildProcess feeder;
        EXPECT_TRUE(feeder.Start(ZELMOOR_FEEDER_EXE, args, stdinPath));
        const DWORD code = feeder.Wait(INSTALL_DEADLINE_MS);
        *output = feeder.Output();
        return code;
    }

    ::testing::AssertionResult Install(const std::vector<std::string>& more = {}, const std::string& stdinPath = "")
    {
        std::vector<std::string> args = {"--install-service", "--map", m_map};
        args.insert(args.end(), more.begin(), more.end());
        std::string output;
        const DWORD code = RunFeeder(args, &output, stdinPath);
        if (code != 0)
            return ::testing::AssertionFailure() << "install ended with " << code << ":\n" << output;
        return ::testing::AssertionSuccess() << output;
    }

    SC_HANDLE OpenService()
    {
        ScHandle manager(OpenSCManagerW(NULL, NULL, SC_MANAGER_CONNECT));
        return ::OpenServiceW(manager.Get(), SERVICE_NAME, SERVICE_START | SERVICE_STOP | SERVICE_QUERY_STATUS
                                                               | SERVICE_QUERY_CONFIG);
    }

    ::testing::AssertionResult WaitForState(SC_HANDLE service, DWORD state, SERVICE_STATUS* status)
    {
        if (WaitUntil([&] { return ServiceState(service, status) == state; }, SERVICE_STATE_DEADLINE_MS))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "the service stayed in state " << status->dwCurrentState
                                             << " rather than " << state << "; its log:\n" << ReadText(m_log);
    }

    ::testing::AssertionResult Start(SC_HANDLE service)
    {
        if (!StartServiceW(service, 0, NULL))
            return ::testing::AssertionFailure() << "StartServiceW failed with " << GetLastError();
        SERVICE_STATUS status = {};
        return WaitForState(service, SERVICE_RUNNING, &status);
    }

    // Milliseconds from the stop control until the manager reports the service stopped.
    DWORD TimedStop(SC_HANDLE service)
    {
        SERVICE_STATUS status = {};
        const ULONGLONG asked = GetTickCount64();
        EXPECT_TRUE(ControlService(service, SERVICE_CONTROL_STOP, &status)) << GetLastError();
        while (ServiceState(service, &status) != SERVICE_STOPPED && GetTickCount64() - asked < SERVICE_STATE_DEADLINE_MS)
            Sleep(STOP_POLL_MS);
        EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
        return static_cast<DWORD>(GetTickCount64() - asked);
    }

    ::testing::AssertionResult LogHolds(const std::string& text)
    {
        if (WaitUntil([&] { return ReadText(m_log).find(text) != std::string::npos; }, LOG_LINE_DEADLINE_MS))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "no '" << text << "' in the log within " << LOG_LINE_DEADLINE_MS
                                             << " ms; it holds:\n" << ReadText(m_log);
    }

    std::string m_folder;
    std::string m_map;
    std::string m_log;
};

} // namespace
