#include "cmd_program.h"

#include "inherit_list.h"
#include "system_error.h"
#include "wide.h"

namespace {

const wchar_t OUTPUT_PIPE_FORMAT[] = L"\\\\.\\pipe\\zelmoor-feeder-cmd-%lu-%ld";
const size_t  OUTPUT_PIPE_NAME_CAPACITY = 64;
const DWORD   EXIT_CODE_WAIT_MS = 50;   // the program closed its output: give it a moment to exit
const UINT    KILLED_EXIT_CODE = 1;

volatile LONG g_lPipeSerial = 0;

void CloseAndClear(HANDLE& h)
{
    if (h != NULL && h != INVALID_HANDLE_VALUE)
        CloseHandle(h);
    h = NULL;
}

bool Fail(std::string* why, const std::string& what, DWORD error)
{
    *why = CmdTrouble(what, error);
    return false;
}

// Starts the program suspended, passing it its standard handles and nothing
// else, so that no other channel's pipe or socket stays open in it. ERROR_SUCCESS
// or why not.
DWORD StartSuspended(std::wstring commandLine, HANDLE hOutput, HANDLE hNul, PROCESS_INFORMATION* process)
{
    InheritList inheritOnly;
    if (!inheritOnly.Set({hOutput, hNul}))
        return GetLastError();
    STARTUPINFOEXW startup = {};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = hNul;
    startup.StartupInfo.hStdOutput = hOutput;
    startup.StartupInfo.hStdError = hNul;   // its messages would tear the status lines
    startup.lpAttributeList = inheritOnly.Attributes();
    const DWORD flags = CREATE_SUSPENDED | CREATE_NO_WINDOW | EXTENDED_STARTUPINFO_PRESENT;
    if (!CreateProcessW(NULL, &commandLine[0], NULL, NULL, TRUE, flags, NULL, NULL, &startup.StartupInfo, process))
        return GetLastError();
    return ERROR_SUCCESS;
}

} // namespace

std::string CmdTrouble(const std::string& what, DWORD error)
{
    return what + " (" + SystemErrorText(error) + ")";
}

bool CmdProgram::Start(const std::string& commandLine, std::string* why)
{
    m_commandLine = commandLine;
    std::wstring pipeName;
    return MakeOutputPipe(&pipeName, why) && MakeJob(why) && Launch(pipeName, why);
}

bool CmdProgram::MakeOutputPipe(std::wstring* name, std::string* why)
{
    wchar_t text[OUTPUT_PIPE_NAME_CAPACITY];
    swprintf(text, OUTPUT_PIPE_NAME_CAPACITY, OUTPUT_PIPE_FORMAT, GetCurrentProcessId(),
             InterlockedIncrement(&g_lPipeSerial));
    *name = text;
    m_hOutput = CreateNamedPipeW(text, PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                 PIPE_TYPE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 0,
                                 CMD_OUTPUT_BUFFER_BYTES, 0, NULL);
    if (m_hOutput == INVALID_HANDLE_VALUE) {
        m_hOutput = NULL;
        return Fail(why, "cannot make a pipe for the program's output", GetLastError());
    }
    return true;
}

bool CmdProgram::MakeJob(std::string* why)
{
    m_hJob = CreateJobObjectW(NULL, NULL);
    if (m_hJob == NULL)
        return Fail(why, "cannot make a job object", GetLastError());
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!SetInformationJobObject(m_hJob, JobObjectExtendedLimitInformation, &limits, sizeof limits))
        return Fail(why, "cannot set up the job object", GetLastError());
    return true;
}

bool CmdProgram::Launch(const std::wstring& pipeName, std::string* why)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
    HANDLE hWrite = CreateFileW(pipeName.c_str(), GENERIC_WRITE, 0, &inherit, OPEN_EXISTING, 0, NULL);
    HANDLE hNul = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              &inherit, OPEN_EXISTING, 0, NULL);
    PROCESS_INFORMATION process = {};
    const DWORD error = hWrite == INVALID_HANDLE_VALUE || hNul == INVALID_HANDLE_VALUE
        ? GetLastError() : StartSuspended(Widen(m_commandLine), hWrite, hNul, &process);
    CloseAndClear(hWrite);
    CloseAndClear(hNul);
    if (error != ERROR_SUCCESS)
        return Fail(why, "cannot start the program", error);
    m_hProcess = process.hProcess;
    // In the job before it runs a single instruction, so that no child escapes it.
    const bool assigned = AssignProcessToJobObject(m_hJob, process.hProcess) != FALSE;
    const DWORD assignError = GetLastError();
    if (assigned)
        ResumeThread(process.hThread);
    else
        TerminateProcess(process.hProcess, KILLED_EXIT_CODE);  // outside the job, Kill could not end it
    CloseHandle(process.hThread);
    return assigned || Fail(why, "cannot put the program in its job object", assignError);
}

std::string CmdProgram::EndText() const
{
    DWORD code = STILL_ACTIVE;
    if (WaitForSingleObject(m_hProcess, EXIT_CODE_WAIT_MS) == WAIT_OBJECT_0 && GetExitCodeProcess(m_hProcess, &code))
        return "the program exited with code " + std::to_string(code);
    return "the program closed its standard output";
}

void CmdProgram::Kill()
{
    if (m_hJob != NULL)
        TerminateJobObject(m_hJob, KILLED_EXIT_CODE);
}

void CmdProgram::Close()
{
    CloseAndClear(m_hOutput);
    CloseAndClear(m_hProcess);
    CloseAndClear(m_hJob);
}
