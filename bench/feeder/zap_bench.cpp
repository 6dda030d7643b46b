// Zap time: from the start of SelectChannel to the first block with data, for a
// PCR-paced file channel and a live UDP channel, switching between them.
#include "feeder_bench.h"

#include <cstdio>

#include "net_peers.h"
#include "wide.h"

namespace {

const uint32_t FILE_CHANNEL = 0;
const uint32_t UDP_CHANNEL = 1;
const uint16_t UDP_PID = 0x110;
const uint64_t UDP_RATE = 4000000;
const double FIRST_BLOCK_LIMIT_SECONDS = 5.0;
const double WATCH_SECONDS = 0.3;       // as a viewer would, before the next switch

} // namespace

void RunZapBench(const FeederBenchOptions& options)
{
    std::printf("zap time (file channel PCR-paced with ?loop, UDP channel at %.0f Mbit/s):\n", UDP_RATE / 1e6);
    const uint16_t port = FreeLoopbackPort(SOCK_DGRAM);
    UdpStreamer udp(port, UDP_PID, UDP_RATE);
    FeederProcess feeder;
    BenchHost host;
    if (!udp.Start() || !host.Load()
        || !feeder.Start({std::to_string(FILE_CHANNEL) + "=file:" + Narrow(ProgramDirectory()) + ZELMOOR_BENCH_CLIP + "?loop",
                          std::to_string(UDP_CHANNEL) + "=udp://127.0.0.1:" + std::to_string(port)})) {
        std::printf("  cannot start the feeder, the sender or the host\n");
        return;
    }
    std::vector<double> fileZaps, udpZaps, selectCalls;
    int failures = 0;
    for (int i = 0; i < options.switches * 2; ++i) {
        const uint32_t channel = i % 2 == 0 ? FILE_CHANNEL : UDP_CHANNEL;
        const double seconds = host.SelectAndTimeFirstBlock(channel, FIRST_BLOCK_LIMIT_SECONDS);
        selectCalls.push_back(host.LastSelectCallSeconds());
        if (seconds < 0.0)
            ++failures;
        else
            (channel == FILE_CHANNEL ? fileZaps : udpZaps).push_back(seconds);
        host.Drain(WATCH_SECONDS, [](const uint8_t*, DWORD) {});
    }
    PrintSpread("file channel", fileZaps, "ms", 1000.0);
    PrintSpread("udp channel", udpZaps, "ms", 1000.0);
    PrintSpread("of which SelectChannel itself", selectCalls, "ms", 1000.0);
    if (failures > 0)
        std::printf("  %d switches saw no data within %.0f s\n", failures, FIRST_BLOCK_LIMIT_SECONDS);
    feeder.Wait(0);
}
