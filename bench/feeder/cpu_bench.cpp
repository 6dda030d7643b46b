// The feeder's CPU: watching ten idle channels, and relaying 20 Mbit/s of UDP to
// a host that drains it.
#include "feeder_bench.h"

#include <cstdio>

#include "net_peers.h"

namespace {

const uint32_t CHANNELS_WATCHED = 10;
const uint32_t RELAY_CHANNEL = 0;
const uint16_t UDP_PID = 0x110;
const uint64_t RELAY_RATE = 20000000;
const double SETTLE_SECONDS = 1.0;      // the feeder starts its workers
const int SAMPLES = 5;

std::vector<std::string> IdleMap(const std::vector<uint16_t>& ports)
{
    std::vector<std::string> args;
    for (uint32_t channel = 0; channel < CHANNELS_WATCHED; ++channel)
        args.push_back(std::to_string(channel) + "=udp://127.0.0.1:" + std::to_string(ports[channel]));
    return args;
}

// Percent of one core over each of SAMPLES equal slices of `seconds`, while `during` runs them.
std::vector<double> CpuSamples(const FeederProcess& feeder, double seconds,
                               const std::function<void(double)>& during)
{
    std::vector<double> samples;
    for (int i = 0; i < SAMPLES; ++i) {
        const double cpu = feeder.CpuSeconds();
        const double start = SecondsNow();
        during(seconds / SAMPLES);
        samples.push_back((feeder.CpuSeconds() - cpu) / (SecondsNow() - start));
    }
    return samples;
}

} // namespace

void RunCpuBench(const FeederBenchOptions& options)
{
    std::printf("feeder CPU, percent of one core:\n");
    std::vector<uint16_t> ports;
    for (uint32_t channel = 0; channel < CHANNELS_WATCHED; ++channel)
        ports.push_back(FreeLoopbackPort(SOCK_DGRAM));
    {
        FeederProcess feeder;
        if (!feeder.Start(IdleMap(ports))) {
            std::printf("  cannot start the feeder\n");
            return;
        }
        Sleep(static_cast<DWORD>(SETTLE_SECONDS * 1000));
        PrintSpread("ten idle channels, no host", CpuSamples(feeder, options.idleSeconds, [](double s) {
                        Sleep(static_cast<DWORD>(s * 1000));
                    }), "%", 100.0);
        feeder.Wait(0);
    }
    UdpStreamer udp(ports[RELAY_CHANNEL], UDP_PID, RELAY_RATE);
    FeederProcess feeder;
    BenchHost host;
    if (!udp.Start() || !host.Load() || !feeder.Start(IdleMap(ports))) {
        std::printf("  cannot start the feeder, the sender or the host\n");
        return;
    }
    host.SelectAndTimeFirstBlock(RELAY_CHANNEL, SETTLE_SECONDS * 5);
    uint64_t bytes = 0;
    const double start = SecondsNow();
    PrintSpread("relaying 20 Mbit/s of UDP to a draining host",
                CpuSamples(feeder, options.relaySeconds,
                           [&](double s) { host.Drain(s, [&](const uint8_t*, DWORD size) { bytes += size; }); }),
                "%", 100.0);
    std::printf("  (the host took %.1f Mbit/s meanwhile)\n", bytes * 8.0 / (SecondsNow() - start) / 1e6);
    host.Leave();
    feeder.Wait(0);
}
