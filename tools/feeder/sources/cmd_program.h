// A cmd: source's program, started in a job object that ends it and all its
// children when the channel closes, the feeder stops, or the feeder is killed.
// Its standard output is a pipe whose read end stays here, for the source to read.
#pragma once
#include <windows.h>

#include <string>

// The program's output pipe buffers this much, and the source reads as much at a time.
const DWORD CMD_OUTPUT_BUFFER_BYTES = 64 * 1024;

class CmdProgram {
public:
    CmdProgram() = default;
    ~CmdProgram() { Close(); }     // closing the job ends the program too
    CmdProgram(const CmdProgram&) = delete;
    CmdProgram& operator=(const CmdProgram&) = delete;

    // Makes the output pipe and the job and starts the program in it; false with *why set.
    bool Start(const std::string& commandLine, std::string* why);
    // The read end of the program's standard output, opened for overlapped reads.
    HANDLE Output() const { return m_hOutput; }
    // Why the output ended: the program's exit code, when it exits within a moment.
    std::string EndText() const;
    // Ends the program and its children; its output then ends too.
    void Kill();
    // Closes what Start made; a read still in flight on Output() must have ended.
    void Close();

private:
    bool MakeOutputPipe(std::wstring* name, std::string* why);
    bool MakeJob(std::string* why);
    bool Launch(const std::wstring& pipeName, std::string* why);

    std::string     m_commandLine;
    HANDLE          m_hOutput = NULL;       // our overlapped read end
    HANDLE          m_hJob = NULL;
    HANDLE          m_hProcess = NULL;
};

// "what (error N: text)": how a cmd: source words a failed call.
std::string CmdTrouble(const std::string& what, DWORD error);
