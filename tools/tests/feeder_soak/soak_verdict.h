// What the soak concludes from its hosts' visits and its faults: every failure
// in words, and the figures it prints. Plain C++.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "soak_visit.h"

enum class FaultKind { SERVER_KILLED, SENDER_PAUSED, PROGRAM_EXITED, FILE_REPLACED, HOST_KILLED, HOST_STALLED };
constexpr int FAULT_KINDS = 6;
const char* FaultName(FaultKind kind);

struct FaultRecord {
    FaultKind   kind = FaultKind::SERVER_KILLED;
    uint32_t    channel = 0;
    double      injectedAt = 0.0;
    double      restoredAt = 0.0;       // the source (or host) is back from here on
    double      recoveredAt = 0.0;      // the first data after that; 0: none came
};

// How long each recovery may take, in seconds.
double RecoveryBound(FaultKind kind);
// Whether a fault on a visit's channel excuses it from the zap and rate checks.
bool FaultExcuses(const FaultRecord& fault, const VisitRecord& visit);

struct SoakVerdict {
    std::vector<std::string>    failures;
    uint64_t    visits = 0;
    uint64_t    zaps = 0;               // visits after the host's first
    uint64_t    bytes = 0;
    uint64_t    continuityErrors = 0;   // on every channel; only file channels must have none
    uint64_t    syncLosses = 0;         // visits with stray bytes
    uint64_t    strayBytes = 0;
    uint64_t    excused = 0;            // visits a fault excused
    uint64_t    rateChecked = 0;
    std::vector<double> zapSeconds;     // of the visits no fault excused
    std::vector<double> rateRatios;
    std::vector<double> recoverySeconds[FAULT_KINDS];
};

SoakVerdict JudgeVisits(const std::vector<VisitRecord>& visits, const std::vector<FaultRecord>& faults);
void JudgeRecoveries(const std::vector<FaultRecord>& faults, SoakVerdict* verdict);

// A process's handles, threads and private bytes at one moment.
struct CensusFigures {
    long        handles = -1;
    long        threads = -1;
    uint64_t    privateBytes = 0;
};

struct CensusAllowance {
    long        handles;
    long        threads;
    uint64_t    privateBytes;
};

// Failures when either census is implausible (a count that failed reads as
// nothing) or the end exceeds the start by more than the allowance.
std::vector<std::string> JudgeCensus(const std::string& who, const CensusFigures& start, const CensusFigures& end,
                                     const CensusAllowance& allowance, long leastThreads);
