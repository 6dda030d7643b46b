// The demo's host: loads the driver beside it and switches among the channels
// given as N=REFERENCE.ts, twice round, a few seconds each, checking that every
// visit got that channel's own stream: its PIDs only, no continuity errors.
//   zelmoor_demo_host N=REFERENCE.ts [N=REFERENCE.ts ...]
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "feeder_streams.h"
#include "switching_host.h"
#include "ts_check.h"
#include "wide.h"

namespace {

const int    ROUNDS = 2;
const double VISIT_SECONDS = 3.0;
const double BITS_PER_BYTE = 8.0;
const double MEGA = 1e6;

struct DemoChannel {
    uint32_t    channel;
    std::string reference;
    TsReport    expected;
};

bool CheckVisit(int number, const DemoChannel& target, const Recording& recording)
{
    const TsReport got = CheckTransportStream(recording.bytes);
    bool foreign = false;
    for (uint16_t pid : got.pids)
        foreign = foreign || target.expected.pids.count(pid) == 0;
    const bool ok = got.packets > 0 && !foreign && got.continuityErrors == 0;
    const double first = recording.arrivals.empty() ? -1.0 : recording.arrivals[0].seconds * 1000.0;
    std::printf("visit %d: channel %u: %7.2f MB, %5.2f Mbit/s, first data after %4.0f ms, PIDs %s, "
                "%llu continuity errors: %s\n",
                number, target.channel, recording.bytes.size() / MEGA,
                recording.bytes.size() * BITS_PER_BYTE / VISIT_SECONDS / MEGA, first, PidList(got.pids).c_str(),
                static_cast<unsigned long long>(got.continuityErrors),
                ok ? "its own stream" : foreign ? "FOREIGN PIDs" : got.packets == 0 ? "NOTHING ARRIVED" : "BROKEN");
    std::fflush(stdout);
    return ok;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    std::vector<DemoChannel> channels;
    for (const std::string& arg : NarrowArguments(argc, argv)) {
        const size_t equals = arg.find('=');
        if (equals != 1 || arg[0] < '0' || arg[0] > '9') {
            std::fprintf(stderr, "zelmoor_demo_host: '%s' is not N=REFERENCE.ts\n", arg.c_str());
            return 2;
        }
        const std::string reference = arg.substr(equals + 1);
        channels.push_back(DemoChannel{static_cast<uint32_t>(arg[0] - '0'), reference,
                                       CheckTransportStream(ReadWholeFile(reference))});
    }
    SwitchingHost host;
    if (channels.empty() || !host.Load()) {
        std::fprintf(stderr, "zelmoor_demo_host: %s\n", channels.empty() ? "no channels given" : host.Error().c_str());
        return 2;
    }
    int failed = 0;
    int visit = 0;
    for (int round = 0; round < ROUNDS; ++round)
        for (const DemoChannel& target : channels)
            failed += (host.Select(target.channel) && CheckVisit(++visit, target, host.Drain(VISIT_SECONDS))) ? 0 : 1;
    host.Leave();
    std::printf("%d of %d visits got their channel's own stream\n", visit - failed, visit);
    return failed == 0 ? 0 : 1;
}
