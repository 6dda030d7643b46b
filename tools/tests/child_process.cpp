#include "child_process.h"

#include <fstream>
#include <sstream>

#include "wide.h"

namespace {

const DWORD  TEMP_PATH_CAPACITY = MAX_PATH + 1;
const char   DIGEST_PREFIX[] = "digest ";

std::wstring TempFilePath()
{
    wchar_t dir[TEMP_PATH_CAPACITY];
    wchar_t path[TEMP_PATH_CAPACITY];
    GetTempPathW(TEMP_PATH_CAPACITY, dir);
    GetTempFileNameW(dir, L"zto", 0, path);
    return path;
}

HANDLE OpenInheritable(const std::wstring& path, bool forWriting)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
    return CreateFileW(path.c_str(), forWriting ? GENERIC_WRITE : GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                       forWriting ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
}

std::wstring CommandLine(const std::string& exe, const std::vector<std::string>& args)
{
    std::wstring line = L"\"" + Widen(exe) + L"\"";
    for (const std::string& arg : args)
        line += L" \"" + Widen(arg) + L"\"";
    return line;
}

} // namespace

ChildProcess::~ChildProcess()
{
    if (m_hProcess != NULL) {
        Wait(0);
        CloseHandle(m_hProcess);
    }
    if (!m_outputPath.empty())
        DeleteFileW(m_outputPath.c_str());
}

bool ChildProcess::Start(const std::string& exe, const std::vector<std::string>& args,
                         const std::string& stdinPath)
{
    m_outputPath = TempFilePath();
    HANDLE out = OpenInheritable(m_outputPath, true);
    HANDLE in = stdinPath.empty() ? INVALID_HANDLE_VALUE : OpenInheritable(Widen(stdinPath), false);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = out;
    PROCESS_INFORMATION info = {};
    std::wstring line = CommandLine(exe, args);
    const BOOL started = CreateProcessW(NULL, &line[0], NULL, NULL, TRUE, 0, NULL, NULL, &startup, &info);
    CloseHandle(out);
    if (in != INVALID_HANDLE_VALUE)
        CloseHandle(in);
    if (!started)
        return false;
    CloseHandle(info.hThread);
    m_hProcess = info.hProcess;
    return true;
}

DWORD ChildProcess::Wait(DWORD timeoutMs)
{
    if (WaitForSingleObject(m_hProcess, timeoutMs) != WAIT_OBJECT_0) {
        TerminateProcess(m_hProcess, STILL_RUNNING);
        WaitForSingleObject(m_hProcess, INFINITE);
        return STILL_RUNNING;
    }
    DWORD code = STILL_RUNNING;
    GetExitCodeProcess(m_hProcess, &code);
    return code;
}

std::string ChildProcess::Output() const
{
    std::ifstream file(Narrow(m_outputPath), std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

std::string DigestLine(const std::string& output)
{
    const size_t at = output.find(DIGEST_PREFIX);
    if (at == std::string::npos)
        return "";
    const size_t end = output.find_first_of("\r\n", at);
    return output.substr(at, end == std::string::npos ? std::string::npos : end - at);
}
