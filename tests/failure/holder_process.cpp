#include "holder_process.h"
#include "driver_module.h"
#include "wait_until.h"

namespace {

const wchar_t HOLDER_FILE[] = L"failure_holder.exe";

// Our end stays private; the holder's end is inherited.
bool MakePipe(HANDLE& ours, HANDLE& theirs, bool theyRead)
{
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), NULL, TRUE};
    HANDLE read = NULL, write = NULL;
    if (!CreatePipe(&read, &write, &inherit, 0))
        return false;
    ours = theyRead ? write : read;
    theirs = theyRead ? read : write;
    SetHandleInformation(ours, HANDLE_FLAG_INHERIT, 0);
    return true;
}

}  // namespace

HolderProcess::~HolderProcess()
{
    if (m_toHolder != NULL)
        CloseHandle(m_toHolder);    // the holder ends on end of input
    if (m_process.hProcess != NULL && WaitForSingleObject(m_process.hProcess, HOLDER_REPLY_MS) != WAIT_OBJECT_0)
        TerminateProcess(m_process.hProcess, 1);
    if (m_process.hProcess != NULL) {
        CloseHandle(m_process.hProcess);
        CloseHandle(m_process.hThread);
    }
    if (m_fromHolder != NULL)
        CloseHandle(m_fromHolder);
}

std::string HolderProcess::Start(const std::wstring& arguments)
{
    HANDLE holderIn = NULL, holderOut = NULL;
    if (!MakePipe(m_toHolder, holderIn, true) || !MakePipe(m_fromHolder, holderOut, false))
        return std::string();
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = holderIn;
    startup.hStdOutput = holderOut;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    const std::wstring path = ProgramDirectory() + HOLDER_FILE;
    std::wstring commandLine = L"\"" + path + L"\" " + arguments;
    const BOOL started = CreateProcessW(path.c_str(), &commandLine[0], NULL, NULL, TRUE, 0, NULL, NULL, &startup,
                                        &m_process);
    CloseHandle(holderIn);
    CloseHandle(holderOut);
    return started ? ReadLine() : std::string();
}

std::string HolderProcess::Ask(const std::string& command)
{
    const std::string line = command + "\n";
    DWORD written = 0;
    if (!WriteFile(m_toHolder, line.data(), static_cast<DWORD>(line.size()), &written, NULL))
        return std::string();
    return ReadLine();
}

bool HolderProcess::WaitForExit(DWORD timeoutMs, DWORD& exitCode)
{
    if (WaitForSingleObject(m_process.hProcess, timeoutMs) != WAIT_OBJECT_0)
        return false;
    return GetExitCodeProcess(m_process.hProcess, &exitCode) != 0;
}

// Polls, so that a holder that hangs fails the test instead of hanging it.
std::string HolderProcess::ReadLine()
{
    std::string line;
    const bool complete = WaitUntil([&] {
        DWORD available = 0;
        char c = 0;
        DWORD got = 0;
        while (PeekNamedPipe(m_fromHolder, NULL, 0, NULL, &available, NULL) && available > 0) {
            if (!ReadFile(m_fromHolder, &c, 1, &got, NULL) || got != 1)
                return true;
            if (c == '\n')
                return true;
            line += c;
            --available;
        }
        return WaitForSingleObject(m_process.hProcess, 0) == WAIT_OBJECT_0 && available == 0;
    }, HOLDER_REPLY_MS);
    return complete ? line : std::string();
}
