// Runs a tool as a child process with its output captured in a temporary file.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

class ChildProcess {
public:
    ChildProcess() = default;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess();

    // stdinPath empty: no standard input.
    bool Start(const std::string& exe, const std::vector<std::string>& args,
               const std::string& stdinPath = "");
    // The exit code, or STILL_RUNNING (after killing the child) when the deadline passed.
    DWORD Wait(DWORD timeoutMs);
    std::string Output() const;     // standard output and error, interleaved
    HANDLE Handle() const { return m_hProcess; }

    static const DWORD STILL_RUNNING = 0xFFFFFFFF;

private:
    HANDLE          m_hProcess = NULL;
    std::wstring    m_outputPath;
};

// The value of the first "digest ..." line in a tool's output, or "".
std::string DigestLine(const std::string& output);
