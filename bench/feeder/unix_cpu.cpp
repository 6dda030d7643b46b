// CPU time read from Linux's /proc through Wine's Z: drive. Under Wine the time a
// program makes the Wine server spend is not in the program's own times, and
// GetProcessTimes of another process is not kept up to date; /proc has both.
#include "feeder_bench.h"

#include <cstdio>
#include <algorithm>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>

namespace {

const char PROC_ROOT[] = "Z:\\proc\\";
const double CLOCK_TICKS_PER_SECOND = 100.0;    // USER_HZ
const int STAT_UTIME_FIELD = 14;

std::string FileText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// utime + stime of /proc/PID/stat (the process and its ended threads... and its live ones).
double StatSeconds(const std::string& statText)
{
    const size_t close = statText.rfind(')');
    if (close == std::string::npos)
        return -1.0;
    std::istringstream fields(statText.substr(close + 2));
    std::string field;
    double ticks = 0.0;
    // Fields after the name start at 3 (state).
    for (int number = 3; number <= STAT_UTIME_FIELD + 1 && fields >> field; ++number)
        if (number >= STAT_UTIME_FIELD)
            ticks += std::atof(field.c_str());
    return ticks / CLOCK_TICKS_PER_SECOND;
}

// The first process of /proc (seen as a folder of Z:) that `matches` accepts.
int FindUnixPid(const std::function<bool(const std::string& procDir)>& matches)
{
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA((std::string(PROC_ROOT) + "*").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE)
        return -1;
    int pid = -1;
    do {
        const int candidate = std::atoi(found.cFileName);
        if (candidate > 0 && matches(std::string(PROC_ROOT) + found.cFileName))
            pid = candidate;
    } while (pid < 0 && FindNextFileA(h, &found));
    FindClose(h);
    return pid;
}

// Every process of /proc (seen as a folder of Z:) that `matches` accepts.
std::vector<int> FindUnixPids(const std::function<bool(const std::string& procDir)>& matches)
{
    std::vector<int> pids;
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA((std::string(PROC_ROOT) + "*").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE)
        return pids;
    do {
        const int candidate = std::atoi(found.cFileName);
        if (candidate > 0 && matches(std::string(PROC_ROOT) + found.cFileName))
            pids.push_back(candidate);
    } while (FindNextFileA(h, &found));
    FindClose(h);
    return pids;
}

std::string CommandLineOf(const std::string& procDir)
{
    std::string cmdline = FileText(procDir + "\\cmdline");
    for (char& c : cmdline)
        c = c == '\0' ? ' ' : c;
    return cmdline;
}

// The process whose command line holds every one of `marks`, not Wine's start.exe.
int FindProgramPid(const std::vector<std::string>& marks)
{
    return FindUnixPid([&](const std::string& dir) {
        std::string cmdline = FileText(dir + "\\cmdline");
        for (char& c : cmdline)
            c = c == '\0' ? ' ' : c;
        bool all = !cmdline.empty();
        for (const std::string& mark : marks)
            all = all && cmdline.find(mark) != std::string::npos;
        return all && cmdline.find("start.exe") == std::string::npos;
    });
}

// The Wine server of this prefix: it was started with WINEPREFIX in its environment.
int FindWineServerPid()
{
    char prefix[MAX_PATH] = {};
    if (GetEnvironmentVariableA("WINEPREFIX", prefix, sizeof prefix) == 0)
        return -1;
    const std::string wanted = std::string("WINEPREFIX=") + prefix + std::string(1, '\0');
    return FindUnixPid([&](const std::string& dir) {
        return FileText(dir + "\\cmdline").find("wineserver") != std::string::npos
            && FileText(dir + "\\environ").find(wanted) != std::string::npos;
    });
}

double PidSeconds(int pid)
{
    return pid > 0 ? StatSeconds(FileText(std::string(PROC_ROOT) + std::to_string(pid) + "\\stat")) : -1.0;
}

} // namespace

double UnixCpuOfAll(const std::string& mark)
{
    double seconds = 0.0;
    for (int pid : FindUnixPids([&](const std::string& dir) {
             const std::string cmdline = CommandLineOf(dir);
             return cmdline.find(mark) != std::string::npos && cmdline.find("start.exe") == std::string::npos;
         }))
        seconds += std::max(0.0, PidSeconds(pid));
    return seconds;
}

UnixCpu::UnixCpu(const std::vector<std::string>& feederMarks)
    : m_feederPid(FindProgramPid(feederMarks)), m_serverPid(FindWineServerPid())
{
}

double UnixCpu::FeederSeconds() const { return PidSeconds(m_feederPid); }
double UnixCpu::ServerSeconds() const { return PidSeconds(m_serverPid); }
