// cmd:COMMAND LINE[?timeout=S] — a program whose standard output is the stream.
// It runs in a job object that ends it and all its children when the channel
// closes, the feeder stops, or the feeder is killed.
#include <algorithm>
#include <cstring>
#include <vector>

#include "cmd_settings.h"
#include "inherit_list.h"
#include "silence_limit.h"
#include "silence_watch.h"
#include "source_kinds.h"
#include "system_error.h"
#include "wide.h"

namespace {

const wchar_t OUTPUT_PIPE_FORMAT[] = L"\\\\.\\pipe\\zelmoor-feeder-cmd-%lu-%ld";
const size_t  OUTPUT_PIPE_NAME_CAPACITY = 64;
const DWORD   OUTPUT_BUFFER_BYTES = 64 * 1024;
const DWORD   EXIT_CODE_WAIT_MS = 50;   // the program closed its output: give it a moment to exit
const UINT    KILLED_EXIT_CODE = 1;

volatile LONG g_lPipeSerial = 0;

void CloseAndClear(HANDLE& h)
{
    if (h != NULL && h != INVALID_HANDLE_VALUE)
        CloseHandle(h);
    h = NULL;
}

// Starts the program suspended, passing it its standard handles and nothing
// else, so that no other channel's pipe or socket stays open in it. ERROR_SUCCESS
// or why not.
DWORD Launch(std::wstring commandLine, HANDLE hOutput, HANDLE hNul, PROCESS_INFORMATION* process)
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

class CmdSource : public Source {
public:
    CmdSource(const std::string& commandLine, DWORD silenceLimitMs)
        : m_commandLine(commandLine), m_buffer(OUTPUT_BUFFER_BYTES), m_silence(silenceLimitMs) {}
    ~CmdSource() override { Close(); }

    bool Open() override;
    ReadResult Read(uint8_t* dst, size_t capacity, DWORD waitMs) override;
    void Close() override;

private:
    bool Fail(const std::string& what, DWORD error);
    bool MakeOutputPipe(std::wstring* name);
    bool StartProgram(const std::wstring& pipeName);
    bool MakeJob();
    ReadResult Exited();
    ReadResult Deliver(uint8_t* dst, size_t capacity);
    ReadResult Silent();

    std::string             m_commandLine;
    std::vector<uint8_t>    m_buffer;
    SilenceWatch            m_silence;
    size_t                  m_have = 0;
    size_t                  m_pos = 0;
    HANDLE                  m_hOutput = NULL;       // our overlapped read end
    HANDLE                  m_hReadEvent = NULL;
    OVERLAPPED              m_overlapped = {};
    bool                    m_bPending = false;     // m_overlapped and m_buffer are the system's
    HANDLE                  m_hJob = NULL;
    HANDLE                  m_hProcess = NULL;
};

bool CmdSource::Fail(const std::string& what, DWORD error)
{
    m_error = what + " (" + SystemErrorText(error) + ")";
    return false;
}

bool CmdSource::MakeOutputPipe(std::wstring* name)
{
    wchar_t text[OUTPUT_PIPE_NAME_CAPACITY];
    swprintf(text, OUTPUT_PIPE_NAME_CAPACITY, OUTPUT_PIPE_FORMAT, GetCurrentProcessId(),
             InterlockedIncrement(&g_lPipeSerial));
    *name = text;
    m_hOutput = CreateNamedPipeW(text, PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                 PIPE_TYPE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 0,
                                 OUTPUT_BUFFER_BYTES, 0, NULL);
    if (m_hOutput == INVALID_HANDLE_VALUE) {
        m_hOutput = NULL;
        return Fail("cannot make a pipe for the program's output", GetLastError());
    }
    m_hReadEvent = CreateEventW(NULL, TRUE, FALSE, NULL);
    return m_hReadEvent != NULL || Fail("cannot make an event", GetLastError());
}

bool CmdSource::MakeJob()
{
    m_hJob = CreateJobObjectW(NULL, NULL);
    if (m_hJob == NULL)
        return Fail("cannot make a job object", GetLastError());
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!SetInformationJobObject(m_hJob, JobObjectExtendedLimitInformation, &limits, sizeof limits))
        return Fail("cannot set up the job object", GetLastError());
    return true;
}

bool CmdSource::StartProgram(const std::wstring& pipeName)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
    HANDLE hWrite = CreateFileW(pipeName.c_str(), GENERIC_WRITE, 0, &inherit, OPEN_EXISTING, 0, NULL);
    HANDLE hNul = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              &inherit, OPEN_EXISTING, 0, NULL);
    PROCESS_INFORMATION process = {};
    const DWORD error = hWrite == INVALID_HANDLE_VALUE || hNul == INVALID_HANDLE_VALUE
        ? GetLastError() : Launch(Widen(m_commandLine), hWrite, hNul, &process);
    CloseAndClear(hWrite);
    CloseAndClear(hNul);
    if (error != ERROR_SUCCESS)
        return Fail("cannot start the program", error);
    m_hProcess = process.hProcess;
    // In the job before it runs a single instruction, so that no child escapes it.
    const bool assigned = AssignProcessToJobObject(m_hJob, process.hProcess) != FALSE;
    const DWORD assignError = GetLastError();
    if (assigned)
        ResumeThread(process.hThread);
    else
        TerminateProcess(process.hProcess, KILLED_EXIT_CODE);  // outside the job, Close could not end it
    CloseHandle(process.hThread);
    return assigned || Fail("cannot put the program in its job object", assignError);
}

bool CmdSource::Open()
{
    std::wstring pipeName;
    m_silence.Heard();
    return MakeOutputPipe(&pipeName) && MakeJob() && StartProgram(pipeName);
}

ReadResult CmdSource::Silent()
{
    if (!m_silence.Expired())
        return ReadResult{ReadStatus::NOTHING_YET, 0};
    m_error = "the program wrote nothing for " + SilenceLimitText(m_silence.LimitMs())
            + " s (does it write the stream to its standard output?)";
    return ReadResult{ReadStatus::FAILED, 0};
}

ReadResult CmdSource::Exited()
{
    DWORD code = STILL_ACTIVE;
    if (WaitForSingleObject(m_hProcess, EXIT_CODE_WAIT_MS) == WAIT_OBJECT_0 && GetExitCodeProcess(m_hProcess, &code))
        m_error = "the program exited with code " + std::to_string(code);
    else
        m_error = "the program closed its standard output";
    return ReadResult{ReadStatus::FAILED, 0};
}

ReadResult CmdSource::Deliver(uint8_t* dst, size_t capacity)
{
    const size_t n = std::min(capacity, m_have - m_pos);
    std::memcpy(dst, &m_buffer[m_pos], n);
    m_pos += n;
    return ReadResult{ReadStatus::DATA, n};
}

ReadResult CmdSource::Read(uint8_t* dst, size_t capacity, DWORD waitMs)
{
    if (m_pos < m_have)
        return Deliver(dst, capacity);
    if (!m_bPending) {
        m_overlapped = OVERLAPPED{};
        m_overlapped.hEvent = m_hReadEvent;
        ResetEvent(m_hReadEvent);
        if (!ReadFile(m_hOutput, m_buffer.data(), OUTPUT_BUFFER_BYTES, NULL, &m_overlapped)) {
            const DWORD error = GetLastError();
            if (error != ERROR_IO_PENDING)
                return error == ERROR_BROKEN_PIPE ? Exited()
                       : (Fail("cannot read the program's output", error), ReadResult{ReadStatus::FAILED, 0});
        }
        m_bPending = true;     // finished at once or later: the result comes the same way
    }
    if (WaitForSingleObject(m_hReadEvent, waitMs) != WAIT_OBJECT_0)
        return Silent();
    DWORD got = 0;
    const BOOL ok = GetOverlappedResult(m_hOutput, &m_overlapped, &got, FALSE);
    const DWORD error = GetLastError();
    m_bPending = false;
    if (!ok)
        return error == ERROR_BROKEN_PIPE ? Exited()
               : (Fail("cannot read the program's output", error), ReadResult{ReadStatus::FAILED, 0});
    m_have = got;
    m_pos = 0;
    if (got == 0)
        return Silent();
    m_silence.Heard();
    return Deliver(dst, capacity);
}

void CmdSource::Close()
{
    if (m_hJob != NULL)
        TerminateJobObject(m_hJob, KILLED_EXIT_CODE);
    if (m_bPending) {
        // The program is gone, so the read ends at once; the record must outlive it.
        CancelIoEx(m_hOutput, &m_overlapped);
        DWORD ignored = 0;
        GetOverlappedResult(m_hOutput, &m_overlapped, &ignored, TRUE);
        m_bPending = false;
    }
    CloseAndClear(m_hOutput);
    CloseAndClear(m_hReadEvent);
    CloseAndClear(m_hProcess);
    CloseAndClear(m_hJob);
}

class CmdSourceConfig : public SourceConfig {
public:
    CmdSourceConfig(const std::string& text, const std::string& commandLine, DWORD silenceLimitMs)
        : m_text(text), m_commandLine(commandLine), m_silenceLimitMs(silenceLimitMs) {}
    std::unique_ptr<Source> Create() const override
    {
        return std::unique_ptr<Source>(new CmdSource(m_commandLine, m_silenceLimitMs));
    }
    const std::string& Text() const override { return m_text; }

private:
    std::string m_text;
    std::string m_commandLine;
    DWORD       m_silenceLimitMs;
};

} // namespace

std::unique_ptr<SourceConfig> ParseCmdSource(const std::string& text, std::string* why)
{
    CmdSettings settings;
    if (!ParseCmdSettings(text, &settings, why))
        return nullptr;
    return std::unique_ptr<SourceConfig>(new CmdSourceConfig(text, settings.commandLine, settings.silenceLimitMs));
}
