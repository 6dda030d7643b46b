#include "ts_check.h"

#include <cstdio>
#include <map>

namespace {

const size_t   PACKET = 188;
const uint8_t  SYNC = 0x47;
const uint16_t NULL_PID = 0x1FFF;
const double   TICKS_PER_SECOND = 27e6;
const double   BITS_PER_BYTE = 8.0;

struct PidTrack {
    int     last = -1;          // counter of the last packet, -1 before the first
    bool    repeated = false;   // the last packet repeated the one before (allowed once)
};

bool ReadPcr(const uint8_t* p, uint64_t* ticks, bool* discontinuity)
{
    if ((p[3] & 0x20) == 0 || p[4] < 7 || (p[5] & 0x10) == 0)
        return false;
    const uint64_t base = (static_cast<uint64_t>(p[6]) << 25) | (static_cast<uint64_t>(p[7]) << 17)
                        | (static_cast<uint64_t>(p[8]) << 9) | (static_cast<uint64_t>(p[9]) << 1) | (p[10] >> 7);
    *ticks = base * 300 + ((static_cast<uint64_t>(p[10] & 1) << 8) | p[11]);
    *discontinuity = (p[5] & 0x80) != 0;
    return true;
}

bool Discontinuous(const uint8_t* p)
{
    return (p[3] & 0x20) != 0 && p[4] > 0 && (p[5] & 0x80) != 0;
}

void CheckCounter(const uint8_t* p, uint64_t offset, uint16_t pid, PidTrack* track, TsReport* report)
{
    const int cc = p[3] & 0x0F;
    const bool payload = (p[3] & 0x10) != 0;
    if (track->last >= 0 && !Discontinuous(p)) {
        // Without payload the counter stays; with payload it goes up by one (or repeats once: a duplicate).
        const int expected = payload ? (track->last + 1) & 0x0F : track->last;
        const bool duplicate = payload && cc == track->last && !track->repeated;
        track->repeated = duplicate;
        if (cc != expected && !duplicate) {
            if (report->continuityErrors++ == 0) {
                char text[96];
                std::snprintf(text, sizeof text, "PID 0x%X at byte %llu: %d after %d", pid,
                              static_cast<unsigned long long>(offset), cc, track->last);
                report->firstError = text;
            }
        }
    }
    track->last = cc;
}

} // namespace

TsReport CheckTransportStream(const uint8_t* data, size_t size)
{
    TsReport report;
    std::map<uint16_t, PidTrack> tracks;
    int pcrPid = -1;
    size_t at = 0;
    while (at + PACKET <= size) {
        const uint8_t* p = data + at;
        if (p[0] != SYNC) {
            ++report.strayBytes;
            ++at;
            continue;
        }
        const uint16_t pid = static_cast<uint16_t>(((p[1] & 0x1F) << 8) | p[2]);
        ++report.packets;
        report.pids.insert(pid);
        if (pid != NULL_PID)
            CheckCounter(p, at, pid, &tracks[pid], &report);
        uint64_t ticks = 0;
        bool discontinuity = false;
        if (ReadPcr(p, &ticks, &discontinuity)) {
            report.pcrsByPid[pid].push_back(TsPcr{at, ticks, discontinuity});
            if (pcrPid < 0)
                pcrPid = pid;
            if (pcrPid == pid)
                report.pcrs.push_back(TsPcr{at, ticks, discontinuity});
        }
        at += PACKET;
    }
    report.strayBytes += size - at;
    return report;
}

double PcrBitRate(const TsReport& report)
{
    if (report.pcrs.size() < 2)
        return 0.0;
    for (size_t i = 1; i < report.pcrs.size(); ++i)
        if (report.pcrs[i].discontinuity || report.pcrs[i].ticks <= report.pcrs[i - 1].ticks)
            return 0.0;
    const TsPcr& first = report.pcrs.front();
    const TsPcr& last = report.pcrs.back();
    const double seconds = static_cast<double>(last.ticks - first.ticks) / TICKS_PER_SECOND;
    return static_cast<double>(last.offset - first.offset) * BITS_PER_BYTE / seconds;
}

std::string PidList(const std::set<uint16_t>& pids)
{
    std::string list;
    char text[16];
    for (uint16_t pid : pids) {
        std::snprintf(text, sizeof text, "%s0x%X", list.empty() ? "" : ", ", pid);
        list += text;
    }
    return list;
}
