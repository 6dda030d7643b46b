// The feeder's CPU: watching ten idle channels, and relaying 20 Mbit/s of UDP to
// a host that drains it. Also the Wine server's CPU over the same time, which
// the feeder's system calls cost under Wine and would not cost on Windows.
#include "feeder_bench.h"

#include <cstdio>

#include "net_peers.h"

namespace {

const uint32_t CHANNELS_WATCHED = 10;
const uint32_t RELAY_CHANNEL = 0;
const uint16_t UDP_PID = 0x110;
const uint64_t RELAY_RATE = 20000000;
const DWORD SETTLE_MS = 2000;       // the feeder starts its workers
const double FIRST_BLOCK_LIMIT_SECONDS = 5.0;
const int SAMPLES = 5;

std::vector<std::string> IdleMap(const std::vector<uint16_t>& ports)
{
    std::vector<std::string> args;
    for (uint32_t channel = 0; channel < CHANNELS_WATCHED; ++channel)
        args.push_back(std::to_string(channel) + "=udp://127.0.0.1:" + std::to_string(ports[channel]));
    return args;
}

struct CpuShares {
    std::vector<double> feeder;
    std::vector<double> server;
};

// Shares of one core over SAMPLES equal slices of `seconds`, while `during` runs them.
CpuShares Sample(const UnixCpu& cpu, double seconds, const std::function<void(double)>& during)
{
    CpuShares shares;
    for (int i = 0; i < SAMPLES; ++i) {
        const double feeder = cpu.FeederSeconds(), server = cpu.ServerSeconds();
        const double start = SecondsNow();
        during(seconds / SAMPLES);
        const double elapsed = SecondsNow() - start;
        shares.feeder.push_back((cpu.FeederSeconds() - feeder) / elapsed);
        if (server >= 0.0)
            shares.server.push_back((cpu.ServerSeconds() - server) / elapsed);
    }
    return shares;
}

void PrintShares(const char* what, const CpuShares& shares)
{
    PrintSpread(what, shares.feeder, "%", 100.0);
    PrintSpread("  the Wine server meanwhile", shares.server, "%", 100.0);
}

} // namespace

void RunCpuBench(const FeederBenchOptions& options)
{
    std::printf("feeder CPU, percent of one core (from /proc; 1 tick = 10 ms):\n");
    std::vector<uint16_t> ports;
    for (uint32_t channel = 0; channel < CHANNELS_WATCHED; ++channel)
        ports.push_back(FreeLoopbackPort(SOCK_DGRAM));
    const std::vector<std::string> marks = {"zelmoor_feeder.exe", "127.0.0.1:" + std::to_string(ports[0])};
    {
        FeederProcess feeder;
        if (!feeder.Start(IdleMap(ports))) {
            std::printf("  cannot start the feeder\n");
            return;
        }
        Sleep(SETTLE_MS);
        const UnixCpu cpu(marks);
        if (!cpu.Found()) {
            std::printf("  cannot find the feeder's process in Z:\\proc\n");
            return;
        }
        PrintShares("ten idle channels, no host", Sample(cpu, options.idleSeconds, [](double s) {
                        Sleep(static_cast<DWORD>(s * 1000));
                    }));
        feeder.Wait(0);
    }
    UdpStreamer udp(ports[RELAY_CHANNEL], UDP_PID, RELAY_RATE);
    FeederProcess feeder;
    BenchHost host;
    if (!udp.Start() || !host.Load() || !feeder.Start(IdleMap(ports))) {
        std::printf("  cannot start the feeder, the sender or the host\n");
        return;
    }
    Sleep(SETTLE_MS);
    const UnixCpu cpu(marks);
    host.SelectAndTimeFirstBlock(RELAY_CHANNEL, FIRST_BLOCK_LIMIT_SECONDS);
    uint64_t bytes = 0;
    const double start = SecondsNow();
    PrintShares("relaying 20 Mbit/s of UDP to a draining host",
                Sample(cpu, options.relaySeconds,
                       [&](double s) { host.Drain(s, [&](const uint8_t*, DWORD size) { bytes += size; }); }));
    std::printf("  (the host took %.1f Mbit/s meanwhile; the Wine server also serves the host here)\n",
                bytes * 8.0 / (SecondsNow() - start) / 1e6);
    host.Leave();
    feeder.Wait(0);
}
