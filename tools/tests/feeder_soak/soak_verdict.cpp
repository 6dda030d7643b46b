#include "soak_verdict.h"

#include <cstdio>

#include "soak_layout.h"

namespace {

// Under load a zap takes a median of a fraction of a second; a cmd: program's
// start under Wine on a busy pair of cores has taken up to 3 s. 8 s still
// fails a channel that does not come at all.
const double ZAP_BOUND_SECONDS = 8.0;
// The feeder retries after 1, 2, 4, 8 and then every 10 s: a source that is
// back is tried again within 10 s; 5 s more for a loaded machine.
const double SOURCE_RECOVERY_SECONDS = 15.0;
// A new host process: Wine starts it, it loads the driver and selects.
const double HOST_RESTART_SECONDS = 25.0;
// Data waits in the pipe and the driver while the host takes nothing.
const double STALL_RESUME_SECONDS = 3.0;
// The visits next to a fault may still show its traces.
const double FAULT_MARGIN_SECONDS = 2.0;
// A PCR-paced file arrives at its rate within the block granularity (6 %) and
// the scheduling of a loaded machine.
// A paced file reaches the host every few tens of milliseconds; a loaded
// machine delays a thread for well under a second.
const double FILE_GAP_SECONDS = 4.0;
const double RATE_LOW = 0.8;
const double RATE_HIGH = 1.25;
const double MiB = 1024.0 * 1024.0;

std::string Describe(const VisitRecord& v)
{
    char text[128];
    std::snprintf(text, sizeof text, "host %u, channel %u, visit selected at %.1f s", v.slot, v.channel,
                  v.selectedAt);
    return text;
}

bool ExcusedByAny(const std::vector<FaultRecord>& faults, const VisitRecord& visit)
{
    for (const FaultRecord& fault : faults)
        if (FaultExcuses(fault, visit))
            return true;
    return false;
}

void CheckOneVisit(const VisitRecord& v, bool excused, SoakVerdict* verdict)
{
    if (v.foreignPids > 0)
        verdict->failures.push_back(Describe(v) + ": carries PID " + std::to_string(v.firstForeign)
                                    + " of another channel's source");
    if (v.strayBytes > 0)
        verdict->failures.push_back(Describe(v) + ": sync lost, " + std::to_string(v.strayBytes) + " stray bytes");
    // A file is read on whatever happens around it: no fault excuses a gap in it or a pause.
    if (IsFileKind(KindOf(v.channel)) && v.continuityErrors > 0)
        verdict->failures.push_back(Describe(v) + ": " + std::to_string(v.continuityErrors)
                                    + " continuity errors on a file channel");
    if (IsFileKind(KindOf(v.channel)) && v.longestGap > FILE_GAP_SECONDS) {
        char text[96];
        std::snprintf(text, sizeof text, ": data paused %.1f s mid-visit on a file channel", v.longestGap);
        verdict->failures.push_back(Describe(v) + text);
    }
    if (excused)
        return;
    // A visit the soak ended before its data was due says nothing about the zap.
    const bool cutBeforeData = v.cut && v.zapSeconds < 0.0 && v.endedAt - v.selectedAt < ZAP_BOUND_SECONDS;
    if (!cutBeforeData && (v.zapSeconds < 0.0 || v.zapSeconds > ZAP_BOUND_SECONDS))
        verdict->failures.push_back(Describe(v) + ": no data within " + std::to_string(int(ZAP_BOUND_SECONDS))
                                    + " s of the zap");
    if (!IsFileKind(KindOf(v.channel)))
        return;
    if (v.rateRatio > 0.0 && (v.rateRatio < RATE_LOW || v.rateRatio > RATE_HIGH)) {
        char text[96];
        std::snprintf(text, sizeof text, ": arrived at %.2f times the file's rate", v.rateRatio);
        verdict->failures.push_back(Describe(v) + text);
    }
}

void Count(const VisitRecord& v, bool excused, bool firstOfSlot, SoakVerdict* verdict)
{
    verdict->visits += 1;
    verdict->zaps += firstOfSlot ? 0 : 1;
    verdict->bytes += v.bytes;
    verdict->continuityErrors += v.continuityErrors;
    verdict->syncLosses += v.strayBytes > 0 ? 1 : 0;
    verdict->strayBytes += v.strayBytes;
    verdict->excused += excused ? 1 : 0;
    if (!excused && v.zapSeconds >= 0.0)
        verdict->zapSeconds.push_back(v.zapSeconds);
    if (!excused && v.rateRatio > 0.0 && IsFileKind(KindOf(v.channel))) {
        verdict->rateChecked += 1;
        verdict->rateRatios.push_back(v.rateRatio);
    }
}

} // namespace

const char* FaultName(FaultKind kind)
{
    switch (kind) {
    case FaultKind::SERVER_KILLED:  return "server killed and started again";
    case FaultKind::SENDER_PAUSED:  return "UDP sender paused beyond the silence limit";
    case FaultKind::PROGRAM_EXITED: return "cmd: program exited";
    case FaultKind::FILE_REPLACED:  return "file replaced while in use";
    case FaultKind::HOST_KILLED:    return "host process killed, a new one started";
    case FaultKind::HOST_STALLED:   return "host stopped taking for a few seconds";
    }
    return "?";
}

double RecoveryBound(FaultKind kind)
{
    switch (kind) {
    case FaultKind::HOST_KILLED:  return HOST_RESTART_SECONDS;
    case FaultKind::HOST_STALLED: return STALL_RESUME_SECONDS;
    default:                      return SOURCE_RECOVERY_SECONDS;
    }
}

bool FaultExcuses(const FaultRecord& fault, const VisitRecord& visit)
{
    if (fault.channel != visit.channel)
        return false;
    // A stalled host still gets every byte in order: only its zap and rate are excused.
    const double over = (fault.recoveredAt > 0.0 ? fault.recoveredAt : fault.restoredAt + RecoveryBound(fault.kind))
                      + FAULT_MARGIN_SECONDS;
    return visit.endedAt >= fault.injectedAt - FAULT_MARGIN_SECONDS && visit.selectedAt <= over;
}

SoakVerdict JudgeVisits(const std::vector<VisitRecord>& visits, const std::vector<FaultRecord>& faults)
{
    SoakVerdict verdict;
    std::vector<bool> seenSlot(SOAK_HOSTS * 2, false);
    for (const VisitRecord& v : visits) {
        const bool excused = ExcusedByAny(faults, v);
        const bool first = v.slot < seenSlot.size() && !seenSlot[v.slot];
        if (v.slot < seenSlot.size())
            seenSlot[v.slot] = true;
        CheckOneVisit(v, excused, &verdict);
        Count(v, excused, first, &verdict);
    }
    return verdict;
}

void JudgeRecoveries(const std::vector<FaultRecord>& faults, SoakVerdict* verdict)
{
    for (const FaultRecord& f : faults) {
        const double took = f.recoveredAt > 0.0 ? f.recoveredAt - f.restoredAt : -1.0;
        char text[192];
        if (took < 0.0 || took > RecoveryBound(f.kind)) {
            std::snprintf(text, sizeof text, "channel %u did not recover within %.0f s after: %s (at %.1f s)",
                          f.channel, RecoveryBound(f.kind), FaultName(f.kind), f.injectedAt);
            verdict->failures.push_back(text);
            continue;
        }
        verdict->recoverySeconds[static_cast<int>(f.kind)].push_back(took);
    }
}

std::vector<std::string> JudgeCensus(const std::string& who, const CensusFigures& start, const CensusFigures& end,
                                     const CensusAllowance& allowance, long leastThreads)
{
    std::vector<std::string> failures;
    char text[256];
    const CensusFigures* both[] = {&start, &end};
    for (const CensusFigures* c : both) {
        if (c->handles <= 0 || c->threads < leastThreads || c->privateBytes == 0) {
            std::snprintf(text, sizeof text, "%s: census implausible (%ld handles, %ld threads, %.1f MiB private)"
                          " - the count failed", who.c_str(), c->handles, c->threads, c->privateBytes / MiB);
            failures.push_back(text);
            return failures;
        }
    }
    if (end.handles > start.handles + allowance.handles || end.threads > start.threads + allowance.threads
        || end.privateBytes > start.privateBytes + allowance.privateBytes) {
        std::snprintf(text, sizeof text,
                      "%s grew beyond the noise allowance (+%ld handles, +%ld threads, +%.0f MiB): "
                      "%ld -> %ld handles, %ld -> %ld threads, %.1f -> %.1f MiB private",
                      who.c_str(), allowance.handles, allowance.threads, allowance.privateBytes / MiB,
                      start.handles, end.handles, start.threads, end.threads, start.privateBytes / MiB,
                      end.privateBytes / MiB);
        failures.push_back(text);
    }
    return failures;
}
