// A host in a process of its own: loads the driver beside itself, opens the
// channel named on its command line and checks that the seeded stream arrives
// whole, in order and without an empty block (its writer stays connected).
//   soak_host <channel> <seed> <bytes>
#include <cstdio>
#include <cstdlib>
#include "block_sink.h"
#include "driver_module.h"
#include "soak_common.h"

namespace {

enum ExitCode { EXIT_OK = 0, EXIT_USAGE = 2, EXIT_NO_DRIVER = 3, EXIT_NO_CHANNEL = 4, EXIT_STREAM_FAULT = 5 };
// Long enough for the other host and the writers to start.
constexpr DWORD FIRST_BYTES_LIMIT_MS = 60000;
constexpr int ARGUMENTS = 4;

struct HostArgs {
    DWORD channel;
    uint64_t seed;
    uint64_t bytes;
};

bool Parse(int argc, char** argv, HostArgs& args)
{
    if (argc != ARGUMENTS)
        return false;
    char* end = nullptr;
    args.channel = static_cast<DWORD>(std::strtoul(argv[1], &end, 10));
    if (*end != 0 || args.channel >= CHANNELS)
        return false;
    args.seed = std::strtoull(argv[2], &end, 10);
    if (*end != 0)
        return false;
    args.bytes = std::strtoull(argv[3], &end, 10);
    return *end == 0 && args.bytes > 0;
}

int Receive(IBonDriver2* tuner, const HostArgs& args, const char* name)
{
    BlockSink sink(tuner, args.seed, BlockSink::Take::Copy);
    const Stopwatch clock;
    const bool received = sink.ReceiveBytes(args.bytes, FIRST_BYTES_LIMIT_MS);
    PrintVolume(name, sink.Bytes(), clock.Seconds());
    if (!received) {
        std::printf("[%s] %s\n", name, sink.Fault().c_str());
        return EXIT_STREAM_FAULT;
    }
    if (sink.EmptyBlocks() != 0) {
        std::printf("[%s] %llu empty blocks from a connected writer\n", name,
                    static_cast<unsigned long long>(sink.EmptyBlocks()));
        return EXIT_STREAM_FAULT;
    }
    return EXIT_OK;
}

}  // namespace

int main(int argc, char** argv)
{
    HostArgs args;
    if (!Parse(argc, argv, args)) {
        std::printf("usage: soak_host <channel 0-9> <seed> <bytes>\n");
        return EXIT_USAGE;
    }
    char name[32];
    std::snprintf(name, sizeof(name), "host on channel %lu", static_cast<unsigned long>(args.channel));
    DriverModule module;
    if (!module.Load() || module.Create() == nullptr)
        return EXIT_NO_DRIVER;
    PrintFigures(name, "start", Figures::Take());
    if (!module.Tuner()->SelectChannel(0, args.channel))
        return EXIT_NO_CHANNEL;
    const int result = Receive(module.Tuner(), args, name);
    module.Tuner()->CloseTuner();
    PrintFigures(name, "end", Figures::Take());
    return result;
}
