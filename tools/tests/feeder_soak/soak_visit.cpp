#include "soak_visit.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "soak_layout.h"
#include "ts_check.h"

namespace {

const char   VISIT_TAG[] = "visit ";
// The first moments of a visit may bring what the pipe and the driver held at
// once; the rate is taken after them.
const double RATE_SETTLE_SECONDS = 0.5;
// At 2.5 Mbit/s a driver block of 48,128 bytes is 0.15 s: over 2.5 s one block
// early or late moves the rate by 6 %.
const double RATE_WINDOW_SECONDS = 2.5;
const double BITS_PER_BYTE = 8.0;

bool IsShared(uint16_t pid)
{
    for (uint16_t shared : SHARED_PIDS)
        if (pid == shared)
            return true;
    return false;
}

void CountForeign(const TsReport& report, uint32_t channel, VisitRecord* record)
{
    const uint16_t base = SoakPidBase(channel);
    for (uint16_t pid : report.pids) {
        if (IsShared(pid) || (pid >= base && pid < base + SOAK_PID_SPAN))
            continue;
        if (record->foreignPids++ == 0)
            record->firstForeign = pid;
    }
}

double RateRatio(const VisitData& visit, double firstAt)
{
    if (visit.stalledSeconds > 0.0 || visit.blocks.empty())
        return 0.0;
    const double from = firstAt + RATE_SETTLE_SECONDS;
    const double to = visit.blocks.back().at;
    if (to - from < RATE_WINDOW_SECONDS)
        return 0.0;
    uint64_t bytes = 0;
    for (const BlockTime& block : visit.blocks)
        if (block.at > from)
            bytes += block.bytes;
    return bytes * BITS_PER_BYTE / (to - from) / SOAK_CLIP_BITS_PER_SECOND;
}

bool Overlaps(const std::vector<Interval>& stalls, double from, double to)
{
    for (const Interval& stall : stalls)
        if (from < stall.to && to > stall.from)
            return true;
    return false;
}

// The host taking nothing on purpose makes no gap of the stream's.
double LongestGap(const VisitData& visit)
{
    double longest = 0.0;
    for (size_t i = 1; i < visit.blocks.size(); ++i) {
        const double from = visit.blocks[i - 1].at, to = visit.blocks[i].at;
        if (!Overlaps(visit.stalls, from, to))
            longest = std::max(longest, to - from);
    }
    return longest;
}

} // namespace

VisitRecord CheckVisit(const VisitData& visit)
{
    VisitRecord record;
    record.slot = visit.slot;
    record.channel = visit.channel;
    record.selectedAt = visit.selectedAt;
    record.endedAt = visit.endedAt;
    record.stalledSeconds = visit.stalledSeconds;
    record.cut = visit.cut;
    record.bytes = visit.bytes.size();
    if (!visit.blocks.empty()) {
        record.zapSeconds = visit.blocks.front().at - visit.selectedAt;
        record.rateRatio = RateRatio(visit, visit.blocks.front().at);
        record.longestGap = LongestGap(visit);
    }
    const TsReport report = CheckTransportStream(visit.bytes);
    record.packets = report.packets;
    record.continuityErrors = report.continuityErrors;
    record.strayBytes = report.strayBytes;
    CountForeign(report, visit.channel, &record);
    return record;
}

std::string FormatVisit(const VisitRecord& r)
{
    char line[320];
    std::snprintf(line, sizeof line,
                  "%sslot=%u channel=%u selected=%.4f ended=%.4f zap=%.4f bytes=%" PRIu64 " packets=%" PRIu64
                  " foreign=%u first_foreign=%u cc=%" PRIu64 " stray=%" PRIu64 " rate=%.4f stalled=%.3f"
                  " cut=%d gap=%.3f",
                  VISIT_TAG, r.slot, r.channel, r.selectedAt, r.endedAt, r.zapSeconds, r.bytes, r.packets,
                  r.foreignPids, r.firstForeign, r.continuityErrors, r.strayBytes, r.rateRatio, r.stalledSeconds,
                  r.cut ? 1 : 0, r.longestGap);
    return line;
}

bool ParseVisit(const std::string& line, VisitRecord* r)
{
    if (line.compare(0, sizeof VISIT_TAG - 1, VISIT_TAG) != 0)
        return false;
    int cut = 0;
    const int fields = std::sscanf(line.c_str(),
                  "visit slot=%u channel=%u selected=%lf ended=%lf zap=%lf bytes=%" SCNu64 " packets=%" SCNu64
                  " foreign=%u first_foreign=%u cc=%" SCNu64 " stray=%" SCNu64 " rate=%lf stalled=%lf cut=%d gap=%lf",
                  &r->slot, &r->channel, &r->selectedAt, &r->endedAt, &r->zapSeconds, &r->bytes, &r->packets,
                  &r->foreignPids, &r->firstForeign, &r->continuityErrors, &r->strayBytes, &r->rateRatio,
                  &r->stalledSeconds, &cut, &r->longestGap);
    r->cut = cut != 0;
    const int ALL_FIELDS = 15;
    return fields == ALL_FIELDS && r->channel < SOAK_CHANNEL_COUNT;
}
