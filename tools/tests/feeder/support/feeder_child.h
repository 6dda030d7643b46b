// The feeder run as a child process in the test's Wine prefix, with no standard
// input, as a scheduled task would run it.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "child_process.h"

constexpr DWORD FEEDER_LINE_TIMEOUT_MS = 15000;

class FeederChild {
public:
    bool Start(const std::vector<std::string>& args) { return m_process.Start(ZELMOOR_FEEDER_EXE, args); }
    // Waits until the output holds `text`.
    ::testing::AssertionResult WaitForOutput(const std::string& text, DWORD timeoutMs = FEEDER_LINE_TIMEOUT_MS);
    DWORD Wait(DWORD timeoutMs) { return m_process.Wait(timeoutMs); }
    void Kill() { m_process.Wait(0); }
    std::string Output() const { return m_process.Output(); }

private:
    ChildProcess m_process;
};

// The test program for cmd: sources, and whether it is running: it holds a named event while it lives.
std::string EmitterSource(const std::string& streamPath, const std::string& eventName);
bool EmitterAlive(const std::string& eventName);
std::string UniqueName(const char* purpose);
