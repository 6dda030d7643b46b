#include <winsock2.h>

#include <cstdio>
#include <cstring>

#include "feeder_bench.h"

namespace {

const FeederBenchOptions QUICK = {10, 3.0, 3.0, 5.0, 5.0, 1, false};

const char USAGE[] =
    "usage: zelmoor_feeder_bench [--quick] [--ten-hosts]\n"
    "Zap time, the feeder's CPU with ten idle channels and while relaying 20 Mbit/s of\n"
    "UDP, UDP relayed at 40 Mbit/s for 30 s, where visits enter a live file channel, and\n"
    "the driver under ten host processes each fed by its own writer against one such pair\n"
    "alone (throughput, fairness, CPU).\n"
    "--quick: fewer switches, shorter runs. --ten-hosts: only the ten-host section.\n";

} // namespace

int main(int argc, char** argv)
{
    FeederBenchOptions options;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--quick") == 0) {
            const bool only = options.onlyManyHosts;
            options = QUICK;
            options.onlyManyHosts = only;
        } else if (strcmp(argv[i], "--ten-hosts") == 0) {
            options.onlyManyHosts = true;
        } else {
            std::fputs(USAGE, strcmp(argv[i], "-h") == 0 || strcmp(argv[i], "--help") == 0 ? stdout : stderr);
            return strcmp(argv[i], "-h") == 0 || strcmp(argv[i], "--help") == 0 ? 0 : 2;
        }
    }
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) {
        std::fputs("zelmoor_feeder_bench: cannot start Windows sockets\n", stderr);
        return 1;
    }
    setvbuf(stdout, NULL, _IONBF, 0);
    if (!options.onlyManyHosts) {
        RunZapBench(options);
        RunCpuBench(options);
        RunUdpSoakBench(options);
        RunLiveBench(options);
    }
    RunTenHostsBench(options);
    WSACleanup();
    return 0;
}
