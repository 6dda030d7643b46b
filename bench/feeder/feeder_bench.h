// The feeder benchmark: the feeder as a child process, a host in this process
// on the shipped driver, UDP senders on loopback here too. Prints figures only.
#pragma once
#include <winsock2.h>  // before windows.h, which the benches' network peers need
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "child_process.h"
#include "driver_module.h"

struct FeederBenchOptions {
    int     switches = 20;          // per channel kind
    double  idleSeconds = 30.0;
    double  relaySeconds = 10.0;
    double  soakSeconds = 30.0;
    double  manySeconds = 10.0;     // a round of the ten-host section
    int     manyRounds = 3;
    bool    onlyManyHosts = false;
};

// The feeder as a child process.
class FeederProcess {
public:
    bool Start(const std::vector<std::string>& args) { return m_child.Start(ZELMOOR_FEEDER_EXE, args); }
    std::string Output() const { return m_child.Output(); }
    DWORD Wait(DWORD ms) { return m_child.Wait(ms); }
    HANDLE Handle() const { return m_child.Handle(); }

private:
    ChildProcess m_child;
};

// CPU seconds of the feeder's Linux process (found by marks in its command line)
// and of the prefix's Wine server; < 0 when not found.
class UnixCpu {
public:
    explicit UnixCpu(const std::vector<std::string>& feederMarks);
    double FeederSeconds() const;
    double ServerSeconds() const;
    bool Found() const { return m_feederPid > 0; }

private:
    int m_feederPid;
    int m_serverPid;
};

// A host on the shipped driver that takes every block as it comes.
class BenchHost {
public:
    bool Load();
    // Seconds from the start of SelectChannel to the first block with data; < 0 when none came in time.
    // The first block goes to `take`, when given.
    double SelectAndTimeFirstBlock(uint32_t channel, double limitSeconds,
                                   const std::function<void(const uint8_t*, DWORD)>& take = nullptr);
    double LastSelectCallSeconds() const { return m_selectCall; }  // how long SelectChannel itself took
    // Takes blocks for `seconds`, passing each to `take`.
    void Drain(double seconds, const std::function<void(const uint8_t*, DWORD)>& take);
    void Leave();

private:
    DriverModule    m_module;
    IBonDriver2*    m_pTuner = nullptr;
    double          m_selectCall = 0.0;
};

// CPU seconds of every Linux process whose command line holds `mark`.
double UnixCpuOfAll(const std::string& mark);

double SecondsNow();
void PrintSpread(const char* what, std::vector<double> values, const char* unit, double scale);

void RunZapBench(const FeederBenchOptions& options);
void RunCpuBench(const FeederBenchOptions& options);
void RunUdpSoakBench(const FeederBenchOptions& options);
void RunLiveBench(const FeederBenchOptions& options);
void RunTenHostsBench(const FeederBenchOptions& options);
