#include <winsock2.h>

#include <cstdio>
#include <cstring>

#include "feeder_bench.h"

namespace {

const FeederBenchOptions QUICK = {10, 3.0, 3.0, 5.0};

const char USAGE[] =
    "usage: zelmoor_feeder_bench [--quick]\n"
    "Zap time, the feeder's CPU with ten idle channels and while relaying 20 Mbit/s of\n"
    "UDP, UDP relayed at 40 Mbit/s for 30 s, and where visits enter a live file channel.\n"
    "--quick: fewer switches, shorter runs.\n";

} // namespace

int main(int argc, char** argv)
{
    FeederBenchOptions options;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--quick") == 0) {
            options = QUICK;
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
    RunZapBench(options);
    RunCpuBench(options);
    RunUdpSoakBench(options);
    RunLiveBench(options);
    WSACleanup();
    return 0;
}
