// Runs the real Ostrel.exe with its standard output on a pipe, then stops it:
// it has no end of its own.
#include "clock_texts.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <functional>
#include <ostream>
#include <regex>
#include <string>
#include <vector>

namespace {

const DWORD HEADER_DEADLINE_MS = 3000;
const DWORD PASSES_DEADLINE_MS = 6000;   // two passes take two seconds
const DWORD POLL_MS            = 20;
const DWORD READ_CHUNK         = 4096;
const UINT  KILLED_EXIT_CODE   = 0xDEAD;
const size_t PASSES_WANTED     = 2;
const int   SMALL_DRIFT_MS     = 100;

// The runtime writes standard output in text mode: each line feed leaves as CR LF.
std::string AsWritten(const char* szText)
{
    std::string written;
    for (const char* p = szText; *p; ++p) {
        if (*p == '\n') {
            written += '\r';
        }
        written += *p;
    }
    return written;
}

const char TIME_PATTERN[]  = "\\d\\d:\\d\\d:\\d\\d\\.\\d{3}";
// "%5d": at least five characters, blanks only in front of the sign.
const char DRIFT_PATTERN[] = "\\((?=[ \\d-]{5,}msec)( *-?\\d+)msec\\)";

// Groups: counter time, tick time, tick drift, timer time, timer drift.
const int TICK_DRIFT_GROUP  = 3;
const int TIMER_DRIFT_GROUP = 5;

const std::regex& PassPattern()
{
    static const std::regex pattern(std::string("(") + TIME_PATTERN + "), (" + TIME_PATTERN + ")"
                                    + DRIFT_PATTERN + ", (" + TIME_PATTERN + ")" + DRIFT_PATTERN
                                    + "     \\r");
    return pattern;
}

class COstrelRun {
public:
    explicit COstrelRun(const char* szArgument) { Start(szArgument); }
    ~COstrelRun() { Stop(); }

    bool Started() const { return m_hProcess != nullptr; }
    const std::string& Output() const { return m_output; }

    // Collects output until the condition holds, the deadline passes or the tool ends.
    bool WaitFor(const std::function<bool(const std::string&)>& condition, DWORD dwDeadlineMs)
    {
        const DWORD dwStart = GetTickCount();
        while (!condition(m_output)) {
            if (!Drain() && WaitForSingleObject(m_hProcess, POLL_MS) == WAIT_OBJECT_0 && !Drain()) {
                return condition(m_output);
            }
            if (GetTickCount() - dwStart >= dwDeadlineMs) {
                return false;
            }
        }
        return true;
    }

private:
    HANDLE      m_hProcess = nullptr;
    HANDLE      m_hRead    = nullptr;   // our end of the child's standard output
    std::string m_output;

    void Start(const char* szArgument)
    {
        SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
        HANDLE hWrite = nullptr;
        if (!CreatePipe(&m_hRead, &hWrite, &sa, 0)) {
            m_hRead = nullptr;
            return;
        }
        SetHandleInformation(m_hRead, HANDLE_FLAG_INHERIT, 0);

        STARTUPINFOA si = {};
        si.cb         = sizeof si;
        si.dwFlags    = STARTF_USESTDHANDLES;
        si.hStdOutput = hWrite;
        si.hStdError  = hWrite;
        std::string commandLine = std::string("\"") + OSTREL_EXE + "\"";
        if (szArgument) {
            commandLine += std::string(" ") + szArgument;
        }
        PROCESS_INFORMATION pi = {};
        if (CreateProcessA(OSTREL_EXE, &commandLine[0], nullptr, nullptr, TRUE, 0,
                           nullptr, nullptr, &si, &pi)) {
            m_hProcess = pi.hProcess;
            CloseHandle(pi.hThread);
        }
        // Only the child may hold the write end, or the pipe never reports its end.
        CloseHandle(hWrite);
    }

    bool Drain()
    {
        bool bGot = false;
        DWORD dwAvailable = 0;
        while (PeekNamedPipe(m_hRead, nullptr, 0, nullptr, &dwAvailable, nullptr) && dwAvailable) {
            char buffer[READ_CHUNK];
            DWORD dwRead = 0;
            if (!ReadFile(m_hRead, buffer, sizeof buffer, &dwRead, nullptr) || dwRead == 0) {
                break;
            }
            m_output.append(buffer, dwRead);
            bGot = true;
        }
        return bGot;
    }

    void Stop()
    {
        if (m_hProcess) {
            TerminateProcess(m_hProcess, KILLED_EXIT_CODE);
            WaitForSingleObject(m_hProcess, INFINITE);
            CloseHandle(m_hProcess);
            m_hProcess = nullptr;
        }
        if (m_hRead) {
            CloseHandle(m_hRead);
            m_hRead = nullptr;
        }
    }
};

bool HasHeader(const std::string& output)
{
    return output.find(AsWritten(HEADER_TEXT)) != std::string::npos;
}

// Passes that follow the header back to back, each one complete and well-formed.
std::vector<std::smatch> PassesAfterHeader(const std::string& output)
{
    std::vector<std::smatch> passes;
    const std::string header = AsWritten(HEADER_TEXT);
    if (output.compare(0, header.size(), header) != 0) {
        return passes;
    }
    std::smatch match;
    auto next = output.cbegin() + header.size();
    while (std::regex_search(next, output.cend(), match, PassPattern(),
                             std::regex_constants::match_continuous)) {
        passes.push_back(match);
        next = match.suffix().first;
    }
    return passes;
}

int DriftOf(const std::smatch& pass, int nGroup)
{
    return std::abs(std::stoi(pass[nGroup].str()));
}

} // namespace

TEST(OstrelRun, WithoutArgumentsTheHeaderComesFirstThenWellFormedPasses)
{
    COstrelRun run(nullptr);
    ASSERT_TRUE(run.Started()) << "Ostrel.exe did not start: " << OSTREL_EXE;
    const bool bEnough = run.WaitFor(
        [](const std::string& s) { return PassesAfterHeader(s).size() >= PASSES_WANTED; },
        PASSES_DEADLINE_MS);
    ASSERT_TRUE(bEnough) << "no header and two well-formed passes in: " << run.Output();

    // The three sources run at one rate, so no pass shows them far apart.
    for (const std::smatch& pass : PassesAfterHeader(run.Output())) {
        EXPECT_LE(DriftOf(pass, TICK_DRIFT_GROUP), SMALL_DRIFT_MS) << pass.str();
        EXPECT_LE(DriftOf(pass, TIMER_DRIFT_GROUP), SMALL_DRIFT_MS) << pass.str();
    }
}

struct PinCase {
    const char* szArgument;
    bool        bPins;
};

void PrintTo(const PinCase& pinCase, std::ostream* pOut)
{
    *pOut << '"' << pinCase.szArgument << (pinCase.bPins ? "\" pins" : "\" does not pin");
}

class OstrelPinning : public ::testing::TestWithParam<PinCase> {};

TEST_P(OstrelPinning, SaysSoBeforeTheHeaderOnlyForDashA)
{
    COstrelRun run(GetParam().szArgument);
    ASSERT_TRUE(run.Started());
    ASSERT_TRUE(run.WaitFor(HasHeader, HEADER_DEADLINE_MS)) << "no header: " << run.Output();

    const std::string expectedStart = GetParam().bPins
        ? AsWritten(PIN_DONE_TEXT) + AsWritten(HEADER_TEXT)
        : AsWritten(HEADER_TEXT);
    EXPECT_EQ(expectedStart, run.Output().substr(0, expectedStart.size()));
}

std::string PinCaseName(const ::testing::TestParamInfo<PinCase>& info)
{
    static const char* const names[] = {"DashA", "DashAbc", "DashB", "LoneDash", "LetterA"};
    return names[info.index];
}

INSTANTIATE_TEST_SUITE_P(Arguments, OstrelPinning,
                         ::testing::Values(PinCase{"-a", true}, PinCase{"-abc", true},
                                           PinCase{"-b", false}, PinCase{"-", false},
                                           PinCase{"a", false}),
                         PinCaseName);
