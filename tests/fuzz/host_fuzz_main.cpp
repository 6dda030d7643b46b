// host_fuzz [--seconds N] [--seed S]: a fuzzed host against the shipped driver
// and writers that come and go on several channels. Prints the seed first, and
// at the end the calls made and the blocks checked; exits 0 when every answer,
// every block and the final census were right.
#include <windows.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include "census.h"
#include "debug_capture.h"
#include "driver_module.h"
#include "fuzz_host.h"
#include "fuzz_writers.h"
#include "pattern.h"
#include "pipe_writer.h"
#include "wait_until.h"

namespace {

constexpr DWORD DEFAULT_SECONDS = 40;
constexpr DWORD MOST_SECONDS = 7 * 24 * 3600;
constexpr DWORD SELECTABLE_CHANNELS = 4;        // writers on all but the last
constexpr uint32_t SESSION_CAPACITY = 1u << 20;
constexpr DWORD WARM_UP_CHANNEL = 9;
constexpr DWORD WARM_UP_BYTES = 1000;
constexpr int EXIT_FAULT = 1;
constexpr int EXIT_USAGE = 2;
constexpr double MiB = 1024.0 * 1024.0;

const char USAGE[] =
    "usage: host_fuzz [--seconds N] [--seed S]\n"
    "  --seconds N  how long the host calls the driver, 1 to 604800 (default 40)\n"
    "  --seed S     the run's seed, 0 to 2^64-1 (default: from the clock; always printed)\n"
    "exit codes: 0 every check held, 1 a fault (printed), 2 bad command line, 3 a call hung\n";

struct Options {
    DWORD seconds = DEFAULT_SECONDS;
    uint64_t seed = 0;
    bool seeded = false;
};

bool ParseNumber(const char* text, unsigned long long most, unsigned long long& value)
{
    char* end = nullptr;
    value = std::strtoull(text, &end, 10);
    return end != text && *end == '\0' && text[0] != '-' && value <= most;
}

// Returns -1 to go on, or the exit code.
int ParseOptions(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        unsigned long long value = 0;
        if (arg == "--help" || arg == "-h") {
            std::fputs(USAGE, stdout);
            return 0;
        }
        const bool hasValue = i + 1 < argc;
        if (arg == "--seconds" && hasValue && ParseNumber(argv[i + 1], MOST_SECONDS, value) && value > 0) {
            options.seconds = static_cast<DWORD>(value);
        } else if (arg == "--seed" && hasValue && ParseNumber(argv[i + 1], ~0ull, value)) {
            options.seed = value;
            options.seeded = true;
        } else {
            std::fprintf(stderr, "host_fuzz: bad argument '%s' (--seconds takes 1 to %lu, --seed 0 to 2^64-1)\n%s",
                         arg.c_str(), static_cast<unsigned long>(MOST_SECONDS), USAGE);
            return EXIT_USAGE;
        }
        ++i;
    }
    if (!options.seeded) {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        options.seed = static_cast<uint64_t>(now.QuadPart) ^ GetCurrentProcessId();
    }
    return -1;
}

// Four distinct channels drawn from the seed.
std::vector<DWORD> PickChannels(uint64_t seed)
{
    std::vector<DWORD> channels;
    uint64_t state = seed | 1;
    while (channels.size() < SELECTABLE_CHANNELS) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        const DWORD channel = static_cast<DWORD>((state >> 33) % CHANNELS);
        if (channel != WARM_UP_CHANNEL && std::find(channels.begin(), channels.end(), channel) == channels.end())
            channels.push_back(channel);
    }
    return channels;
}

// Wine makes some handles of its own on first use of pipes, waits and threads.
bool WarmUp(IBonDriver2* tuner)
{
    if (!tuner->SelectChannel(0, WARM_UP_CHANNEL))
        return false;
    PipeWriter writer;
    BYTE data[WARM_UP_BYTES];
    Pattern(1).Fill(data, sizeof(data));
    const bool sent = writer.Connect(WARM_UP_CHANNEL) && writer.Write(data, sizeof(data));
    const bool arrived = sent && WaitUntil([&] { return tuner->QueryReadyCount() > 0; });
    writer.Close();
    tuner->CloseTuner();
    return arrived;
}

bool CensusComesBack(const Census& before, Census& now)
{
    return WaitUntil([&] {
        now = Census::Take();
        return now.handles == before.handles && now.threads == before.threads;
    });
}

void PrintFigures(const FuzzFigures& f, const BlockChecker& checker, const FuzzWriters& writers,
                  const SessionRegistry& sessions, double seconds)
{
    auto n = [&](Call call) { return static_cast<unsigned long long>(f.calls[static_cast<int>(call)]); };
    std::printf("  %.1f s, %llu host calls: take %llu, copy %llu, purge %llu, select %llu, channel code %llu, "
                "close %llu, refused input %llu, queries %llu, ready counts %llu, waits %llu "
                "(signalled %llu, timed out %llu, abandoned %llu)\n",
                seconds, static_cast<unsigned long long>(f.Total()), n(Call::Take), n(Call::Copy), n(Call::Purge),
                n(Call::Select), n(Call::SetCode), n(Call::Close), n(Call::Refused), n(Call::Query),
                n(Call::ReadyCount), n(Call::Wait), static_cast<unsigned long long>(f.waitsSignalled),
                static_cast<unsigned long long>(f.waitsTimedOut), static_cast<unsigned long long>(f.waitsAbandoned));
    std::printf("  %llu blocks checked (%llu empty, %llu too short to place for certain), %.1f MiB; "
                "%llu gaps, each after a drop or a short block\n",
                static_cast<unsigned long long>(checker.Blocks()), static_cast<unsigned long long>(checker.EmptyBlocks()),
                static_cast<unsigned long long>(checker.LooseBlocks()), checker.Bytes() / MiB,
                static_cast<unsigned long long>(checker.Gaps()));
    std::printf("  writers: %lu sessions, %llu writes, %.1f MiB\n", static_cast<unsigned long>(sessions.Count()),
                static_cast<unsigned long long>(writers.Writes()), writers.BytesWritten() / MiB);
}

int Fail(const std::string& why, uint64_t seed)
{
    std::printf("FAIL: %s (seed %llu)\n", why.c_str(), static_cast<unsigned long long>(seed));
    return EXIT_FAULT;
}

// The run itself; everything it made is gone when it returns, so that the
// census after it counts only what the driver left behind. Empty when all held.
std::string RunHosts(IBonDriver2* tuner, const std::vector<DWORD>& channels, const Options& options)
{
    SessionRegistry sessions(SESSION_CAPACITY);
    BlockChecker checker(sessions);
    FuzzWriters writers(sessions, std::vector<DWORD>(channels.begin(), channels.end() - 1), options.seed);
    FuzzHost host(tuner, checker, channels, options.seed);
    const ULONGLONG start = GetTickCount64();
    writers.Start();
    const bool held = host.Run(options.seconds);
    const bool writersEnded = writers.Stop();
    PrintFigures(host.Figures(), checker, writers, sessions, (GetTickCount64() - start) / 1000.0);
    if (!held)
        return host.Fault();
    if (!writersEnded)
        return "a writer was still blocked after the channel closed";
    return std::string();
}

int RunFuzz(const Options& options)
{
    const std::vector<DWORD> channels = PickChannels(options.seed);
    std::printf("host fuzz: seed %llu, %lu s, channels %lu %lu %lu (with writers) and %lu (without)\n",
                static_cast<unsigned long long>(options.seed), static_cast<unsigned long>(options.seconds),
                static_cast<unsigned long>(channels[0]), static_cast<unsigned long>(channels[1]),
                static_cast<unsigned long>(channels[2]), static_cast<unsigned long>(channels[3]));
    std::fflush(stdout);
    DebugCapture capture;
    DriverModule module;
    IBonDriver2* tuner = module.Load() ? module.Create() : nullptr;
    if (tuner == nullptr)
        return Fail("the driver DLL did not load", options.seed);
    if (!WarmUp(tuner))
        return Fail("the warm-up stream did not arrive", options.seed);
    const Census before = Census::Take();
    if (!Counted(before))
        return Fail(Counted(before).message(), options.seed);
    capture.Clear();

    const std::string fault = RunHosts(tuner, channels, options);
    if (!fault.empty())
        return Fail(fault, options.seed);
    if (!capture.Lines().empty())
        return Fail("the driver wrote: " + capture.Joined(), options.seed);
    Census after = {};
    if (!CensusComesBack(before, after))
        return Fail("census " + std::to_string(before.handles) + " handles, " + std::to_string(before.threads) +
                        " threads before; " + std::to_string(after.handles) + ", " + std::to_string(after.threads) +
                        " after",
                    options.seed);
    std::printf("  census: %ld handles, %ld threads, as before\n", after.handles, after.threads);
    module.Unload();
    std::printf("PASS (seed %llu)\n", static_cast<unsigned long long>(options.seed));
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    const int parsed = ParseOptions(argc, argv, options);
    if (parsed >= 0)
        return parsed;
    return RunFuzz(options);
}
