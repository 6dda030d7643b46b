// The feeder soak: one feeder on every channel, five zapping host processes,
// faults injected all along, censuses at warm-up and at the end.
#pragma once
#include <winsock2.h>
#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "child_process.h"
#include "prng.h"
#include "soak_board.h"
#include "soak_options.h"
#include "soak_peer_link.h"
#include "soak_verdict.h"

struct FaultPlan {
    FaultKind   kind;
    uint32_t    channel;
};

struct HostProcess {
    uint32_t                        slot;
    std::unique_ptr<ChildProcess>   process;
    bool                            expectedEnd = false;
    bool                            hungSaid = false;
};

struct CpuMark {
    double  wall = 0.0;
    double  feeder = -1.0;
    double  server = -1.0;
};

class FeederSoak {
public:
    explicit FeederSoak(const SoakOptions& options);
    bool Setup(std::string* why);
    bool Run();                 // true when every check held

private:
    // Setup (feeder_soak.cpp)
    bool MakeWorkFiles(std::string* why);
    std::string SourceOf(const SoakChannel& channel) const;
    std::vector<std::string> FeederArgs() const;
    bool StartHost(uint32_t slot);
    // Tending: the watchdog over the hosts, and progress (feeder_soak.cpp)
    void Tend();
    void TendHost(HostProcess* host);
    void Pause(double seconds);
    bool WaitFor(const std::function<bool()>& done, double seconds);
    void Fail(const std::string& what);
    double Now() const { return UsToSeconds(NowUs()); }
    // Counting (soak_counts.cpp)
    bool Park(const char* when, bool final);
    void ProbeLeftovers(const char* when);
    CpuMark MarkCpu() const;
    void JudgeCensuses();
    // Faults (soak_faults.cpp)
    void InjectFaults();
    std::vector<FaultPlan> NextRound();
    void Inject(const FaultPlan& plan);
    bool Arm(uint32_t channel);
    void Release(uint32_t channel);
    bool AwaitRecovery(FaultRecord* record);
    void PeerOutage(FaultRecord* record, const std::string& down, const std::string& up, double seconds);
    void KillServer(FaultRecord* record);
    void PauseSender(FaultRecord* record);
    void EndProgram(FaultRecord* record);
    void ReplaceFile(FaultRecord* record);
    void KillHost(FaultRecord* record);
    void StallHost(FaultRecord* record);
    void ProbeBeforeFault(const FaultPlan& plan);
    // The end (soak_report.cpp)
    void Finish();
    std::vector<VisitRecord> CollectVisits();
    void ReadFeederSummary();
    void KeepFeederLog();
    void PrintFigures(const SoakVerdict& verdict) const;

    SoakOptions                     m_options;
    SplitMix64                      m_random;
    std::string                     m_workDir;
    std::string                     m_boardName;
    SoakBoard                       m_board;
    PeerLink                        m_peers;
    ChildProcess                    m_feeder;
    double                          m_startedAt = 0.0;
    double                          m_endAt = 0.0;
    double                          m_lastProgress = 0.0;
    std::vector<HostProcess>        m_hosts;            // the live one of each slot
    std::vector<std::unique_ptr<ChildProcess>> m_ended; // hosts gone, kept for their visit lines
    std::map<DWORD, CensusFigures>  m_hostFirst;        // by process id, at the first count it attended
    std::map<DWORD, CensusFigures>  m_hostLast;
    std::map<DWORD, int>            m_hostCounts;       // how many counts each host attended
    CensusFigures                   m_feederStart;
    CensusFigures                   m_feederEnd;
    CpuMark                         m_cpuStart;
    CpuMark                         m_cpuEnd;
    std::vector<FaultRecord>        m_faults;
    std::vector<std::string>        m_failures;
    std::set<std::string>           m_probeNotes;       // what the leftover probes saw while streaming
    int                             m_replaceVersion = 0;
    int                             m_stalls = 0;
    int                             m_parks = 0;
    double                          m_lastPark = 0.0;
    uint64_t                        m_drops = 0;
    uint64_t                        m_skipped = 0;
    bool                            m_feederGone = false;
};
