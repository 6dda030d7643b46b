// Another process holding a channel or the in-use mutex, driven line by line
// over its standard input and output (see channel_holder.cpp).
#pragma once
#include <windows.h>
#include <string>

constexpr DWORD HOLDER_REPLY_MS = 10000;    // a Wine process start takes a while

class HolderProcess {
public:
    HolderProcess() = default;
    ~HolderProcess();
    HolderProcess(const HolderProcess&) = delete;
    HolderProcess& operator=(const HolderProcess&) = delete;

    // Starts the holder beside this program; returns its first reply.
    std::string Start(const std::wstring& arguments);
    // One command line in, one reply line out; empty when the holder is gone.
    std::string Ask(const std::string& command);
    // Waits for the holder to end by itself; false on time-out.
    bool WaitForExit(DWORD timeoutMs, DWORD& exitCode);

private:
    std::string ReadLine();
    PROCESS_INFORMATION m_process = {};
    HANDLE m_toHolder = NULL;
    HANDLE m_fromHolder = NULL;
};
