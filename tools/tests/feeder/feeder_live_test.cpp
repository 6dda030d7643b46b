// A live file channel of the feeder, met by a host in the test's process: visits
// some seconds apart enter that many seconds later in the recording, modulo its
// loop, the loop's end crossed on the way; each entry is a whole packet with a PCR.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "feeder_child.h"
#include "live_index.h"
#include "switching_host.h"
#include "synthetic_ts.h"
#include "ts_check.h"
#include "ts_packet.h"

namespace {

const uint32_t CHANNEL = 2;
const size_t   PACKETS_PER_SECOND = 500;
const size_t   PCR_EVERY = 20;
const double   PCR_INTERVAL_SECONDS = 0.04;
const uint64_t PCR_STEP = static_cast<uint64_t>(PCR_INTERVAL_SECONDS * PCR_TICKS_PER_SECOND);
const uint64_t FIRST_PCR = 3 * PCR_TICKS_PER_SECOND;
const double   LOOP_SECONDS = 6.0;
// Gaps between visits: together more than two loops, so entries wrap round the loop's end.
const double   GAPS_SECONDS[] = {2.5, 3.1, 1.7, 3.4, 2.2, 2.9};
const double   VISIT_LIMIT_SECONDS = 5.0;
// Each entry lags its moment by up to 0.1 s and a PCR interval, as promised. The moment
// itself lies between Select and the first bytes (the feeder's look for the pipe, opening
// the file, Wine's scheduling), so a difference of two entries may also be off by that much.
const double   ENTRY_LAG_SECONDS = 0.1 + PCR_INTERVAL_SECONDS;
const double   MS_PER_SECOND = 1000.0;

struct Entry {
    double      selected;       // seconds since the first visit's Select
    double      recording;      // the first PCR, seconds into the recording
    double      reached;        // seconds from Select to the first bytes
};

double Now()
{
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

bool HasPcr(const Recording& recording)
{
    return !CheckTransportStream(recording.bytes).pcrs.empty();
}

::testing::AssertionResult Visit(SwitchingHost* host, double origin, Entry* entry)
{
    entry->selected = Now() - origin;
    if (!host->Select(CHANNEL))
        return ::testing::AssertionFailure() << host->Error();
    const Recording recording = host->Drain(VISIT_LIMIT_SECONDS, HasPcr);
    host->Leave();
    const TsReport report = CheckTransportStream(recording.bytes);
    if (report.pcrs.empty())
        return ::testing::AssertionFailure() << "no PCR within " << VISIT_LIMIT_SECONDS << " s";
    if (report.strayBytes != 0 || report.pcrs.front().offset != 0)
        return ::testing::AssertionFailure() << "the visit did not start with a whole packet carrying a PCR";
    entry->recording = static_cast<double>(report.pcrs.front().ticks - FIRST_PCR) / PCR_TICKS_PER_SECOND;
    entry->reached = recording.arrivals.front().seconds;
    return ::testing::AssertionSuccess();
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

TEST(FeederLive, VisitsSecondsApartEnterThatMuchLaterInTheRecordingModuloItsLoop)
{
    SwitchingHost host;
    ASSERT_TRUE(host.Load()) << host.Error();
    const std::string path = TempFileWith(PacketsWithSteadyPcrs(
        static_cast<size_t>(LOOP_SECONDS * PACKETS_PER_SECOND), PCR_EVERY, PCR_STEP, FIRST_PCR));
    FeederChild feeder;
    ASSERT_TRUE(feeder.Start({std::to_string(CHANNEL) + "=file:" + path + "?loop&live"}));
    ASSERT_TRUE(feeder.WaitForOutput("channel " + std::to_string(CHANNEL) + ": indexed"));
    const double origin = Now();
    std::vector<Entry> entries(1);
    ASSERT_TRUE(Visit(&host, origin, &entries[0])) << feeder.Output();
    double wraps = 0.0;
    for (double gap : GAPS_SECONDS) {
        Sleep(static_cast<DWORD>(gap * MS_PER_SECOND));     // the time between visits, not an ordering
        entries.emplace_back();
        ASSERT_TRUE(Visit(&host, origin, &entries.back())) << feeder.Output();
        wraps += entries.back().recording < entries[entries.size() - 2].recording ? 1.0 : 0.0;
    }
    EXPECT_GE(wraps, 2.0) << "the visits did not cross the loop's end twice";
    std::vector<double> errors, bounds;
    for (size_t i = 1; i < entries.size(); ++i) {
        const double moved = entries[i].recording - entries[0].recording;
        const double waited = entries[i].selected - entries[0].selected;
        errors.push_back(std::fabs(std::remainder(moved - waited, LOOP_SECONDS)));
        bounds.push_back(ENTRY_LAG_SECONDS + std::max(entries[0].reached, entries[i].reached));
        EXPECT_LE(errors.back(), bounds.back())
            << "visit " << i << ": " << waited << " s after the first, entered " << moved << " s further on";
    }
    std::printf("live entry-position error over %zu visits against the first: median %.0f ms, max %.0f ms "
                "(bounds: median %.0f ms)\n", errors.size(), Median(errors) * MS_PER_SECOND,
                *std::max_element(errors.begin(), errors.end()) * MS_PER_SECOND, Median(bounds) * MS_PER_SECOND);
    feeder.Kill();
    DeleteFileA(path.c_str());
}
