// The soak's end: hosts and feeder told to stop, every visit line gathered and
// judged, and the figures printed.
#include "feeder_soak.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "soak_probes.h"
#include "stats.h"

namespace {

const DWORD  HOST_EXIT_MS = 20000;
const double FEEDER_END_LIMIT_SECONDS = 30.0;   // beyond its --seconds: its clean end waits at most 3 s
const size_t FAILURES_SHOWN = 25;
const double MiB = 1024.0 * 1024.0;
const double PERCENT = 100.0;
const double MS = 1000.0;
const double P95 = 0.95;

void PrintSeconds(const char* what, const std::vector<double>& values, double scale, const char* unit)
{
    if (values.empty()) {
        std::printf("  %-46s none\n", what);
        return;
    }
    const Spread s = SpreadOf(values);
    std::printf("  %-46s median %8.2f  p95 %8.2f  max %8.2f %s  (%zu)\n", what, s.median * scale,
                Percentile(values, P95) * scale, s.max * scale, unit, s.count);
}

double Share(double from, double to, double wall)
{
    return from >= 0.0 && to >= 0.0 && wall > 0.0 ? (to - from) / wall * PERCENT : -1.0;
}

} // namespace

void FeederSoak::Finish()
{
    m_board->stop = 1;
    for (HostProcess& host : m_hosts) {
        host.expectedEnd = true;
        if (WaitForSingleObject(host.process->Handle(), HOST_EXIT_MS) != WAIT_OBJECT_0) {
            Fail("host " + std::to_string(host.slot) + " did not end within 20 s of being told");
            TerminateProcess(host.process->Handle(), 1);
        }
    }
    const double left = std::max(0.0, m_endAt - Now()) + FEEDER_END_LIMIT_SECONDS;
    const DWORD code = m_feeder.Wait(static_cast<DWORD>(left * MS));
    if (code != 0)
        Fail("the feeder ended with exit code " + std::to_string(code) + " instead of 0 at its --seconds");
    ReadFeederSummary();
    ProbeLeftovers("after the feeder ended");
    KeepFeederLog();
    std::vector<FaultRecord> faults = m_faults;
    for (FaultRecord& f : faults) {
        f.injectedAt -= m_startedAt;
        f.restoredAt -= m_startedAt;
        f.recoveredAt = f.recoveredAt > 0.0 ? f.recoveredAt - m_startedAt : 0.0;
    }
    SoakVerdict verdict = JudgeVisits(CollectVisits(), faults);
    JudgeRecoveries(faults, &verdict);
    for (size_t i = 0; i < verdict.failures.size(); ++i)
        if (i < FAILURES_SHOWN)
            Fail(verdict.failures[i]);
    if (verdict.failures.size() > FAILURES_SHOWN)
        Fail(std::to_string(verdict.failures.size() - FAILURES_SHOWN) + " more visit and recovery failures");
    if (verdict.visits == 0 || verdict.zapSeconds.empty())
        Fail("no visit was checked");
    for (int kind = 0; kind < FAULT_KINDS; ++kind)
        if ((m_options.onlyFault < 0 || m_options.onlyFault == kind)
            && std::none_of(m_faults.begin(), m_faults.end(), [kind](const FaultRecord& f) { return int(f.kind) == kind; }))
            Fail(std::string("no fault of this kind was injected and measured: ") + FaultName(FaultKind(kind)));
    JudgeCensuses();
    PrintFigures(verdict);
}

// The feeder's event lines stay in the run's folder, to read beside the failures.
void FeederSoak::KeepFeederLog()
{
    const std::string path = m_workDir + "feeder.log";
    std::ofstream log(path, std::ios::binary);
    log << m_feeder.Output();
    std::printf("[soak] the feeder's lines: %s\n", path.c_str());
}

std::vector<VisitRecord> FeederSoak::CollectVisits()
{
    std::vector<const ChildProcess*> processes;
    for (const auto& ended : m_ended)
        processes.push_back(ended.get());
    for (const HostProcess& host : m_hosts)
        processes.push_back(host.process.get());
    std::vector<VisitRecord> visits;
    for (const ChildProcess* process : processes) {
        std::istringstream lines(process->Output());
        std::string line;
        while (std::getline(lines, line)) {
            VisitRecord record;
            if (ParseVisit(line, &record)) {
                record.selectedAt -= m_startedAt;     // seconds into the run, as every line says
                record.endedAt -= m_startedAt;
                visits.push_back(record);
            }
            else if (line.compare(0, 10, "host-error") == 0)
                Fail(line);
        }
    }
    std::sort(visits.begin(), visits.end(),
              [](const VisitRecord& a, const VisitRecord& b) { return a.selectedAt < b.selectedAt; });
    return visits;
}

// "channel 3: visits 5, delivered 123 bytes, in doubt 0 bytes, drops 0, skipped 0 bytes, ..."
void FeederSoak::ReadFeederSummary()
{
    const std::string output = m_feeder.Output();
    if (output.find("summary after") == std::string::npos) {
        Fail("the feeder wrote no summary: it did not end cleanly");
        return;
    }
    std::istringstream lines(output.substr(output.find("summary after")));
    std::string line;
    while (std::getline(lines, line)) {
        unsigned channel = 0, visits = 0;
        unsigned long long delivered = 0, doubt = 0, drops = 0, skipped = 0;
        if (std::sscanf(line.c_str(), "channel %u: visits %u, delivered %llu bytes, in doubt %llu bytes, drops %llu,"
                        " skipped %llu bytes", &channel, &visits, &delivered, &doubt, &drops, &skipped) == 6) {
            m_drops += drops;
            m_skipped += skipped;
        }
    }
}

void FeederSoak::PrintFigures(const SoakVerdict& v) const
{
    const double minutes = (Now() - m_startedAt) / 60.0;
    std::printf("\n== feeder soak figures (seed %llu, %.1f min)\n", static_cast<unsigned long long>(m_options.seed),
                minutes);
    std::printf("  zaps %" PRIu64 ", visits %" PRIu64 " (%" PRIu64 " beside a fault), %.1f MiB checked\n", v.zaps,
                v.visits, v.excused, v.bytes / MiB);
    std::printf("  continuity errors %" PRIu64 " (all channels; file channels must have none), sync losses %" PRIu64
                " (%" PRIu64 " stray bytes)\n", v.continuityErrors, v.syncLosses, v.strayBytes);
    std::printf("  feeder: drops %" PRIu64 ", skipped bytes %" PRIu64 "\n", m_drops, m_skipped);
    PrintSeconds("zap time (no fault near)", v.zapSeconds, MS, "ms");
    PrintSeconds("file channel rate / clip rate", v.rateRatios, 1.0, "");
    for (int kind = 0; kind < FAULT_KINDS; ++kind)
        PrintSeconds((std::string("recovery: ") + FaultName(FaultKind(kind))).c_str(), v.recoverySeconds[kind], 1.0,
                     "s");
    std::printf("  census after warm-up: feeder %s\n", CensusText(m_feederStart).c_str());
    std::printf("  census at the end:    feeder %s\n", CensusText(m_feederEnd).c_str());
    for (const auto& last : m_hostLast)
        if (m_hostCounts.at(last.first) >= 2)
            std::printf("  host process %lu: %s -> %s\n", last.first, CensusText(m_hostFirst.at(last.first)).c_str(),
                        CensusText(last.second).c_str());
    const double wall = m_cpuEnd.wall - m_cpuStart.wall;
    std::printf("  CPU over %.0f s, percent of one core: feeder %.1f %%, Wine server %.1f %%\n", wall,
                Share(m_cpuStart.feeder, m_cpuEnd.feeder, wall), Share(m_cpuStart.server, m_cpuEnd.server, wall));
    for (const std::string& note : m_probeNotes)
        std::printf("  leftover probe, while streaming: %s\n", note.c_str());
    std::printf("== %s: %zu failures\n", m_failures.empty() ? "PASSED" : "FAILED", m_failures.size());
    std::fflush(stdout);
}
