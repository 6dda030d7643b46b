#include "soak_options.h"

#include <cerrno>
#include <cstdlib>

namespace {

const double SECONDS_LEAST = 60.0;      // warm-up, one fault and two counts need this much
const double SECONDS_MOST = 7 * 24 * 3600.0;
const double SECONDS_PER_MINUTE = 60.0;
const char* const FAULT_NAMES[] = {"server", "udp-pause", "cmd-exit", "file-replace", "host-kill", "host-stall"};

bool ParseDuration(const std::string& text, double unit, double* seconds)
{
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || errno != 0)
        return false;
    *seconds = value * unit;
    return *seconds >= SECONDS_LEAST && *seconds <= SECONDS_MOST;
}

bool ParseSeed(const std::string& text, uint64_t* seed)
{
    char* end = nullptr;
    errno = 0;
    *seed = std::strtoull(text.c_str(), &end, 10);
    return !text.empty() && text[0] != '-' && *end == '\0' && errno == 0;
}

} // namespace

int FaultKindByName(const std::string& name)
{
    for (size_t i = 0; i < sizeof FAULT_NAMES / sizeof FAULT_NAMES[0]; ++i)
        if (name == FAULT_NAMES[i])
            return static_cast<int>(i);
    return -1;
}

SoakParse ParseSoakOptions(const std::vector<std::string>& args, SoakOptions* options, std::string* error)
{
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "-h" || arg == "--help")
            return SoakParse::HELP;
        if (i + 1 >= args.size()) {
            *error = "unknown option or missing value: '" + arg + "'";
            return SoakParse::USAGE_ERROR;
        }
        const std::string& value = args[++i];
        bool ok = true;
        if (arg == "--seconds" || arg == "--minutes")
            ok = ParseDuration(value, arg == "--minutes" ? SECONDS_PER_MINUTE : 1.0, &options->seconds);
        else if (arg == "--seed")
            ok = options->seedGiven = ParseSeed(value, &options->seed);
        else if (arg == "--peers")
            options->peers = value;
        else if (arg == "--run-id")
            options->runId = value;
        else if (arg == "--feeder")
            options->feeder = value;
        else if (arg == "--fault")
            ok = (options->onlyFault = FaultKindByName(value)) >= 0;
        else
            ok = false;
        if (!ok) {
            *error = arg + ": '" + value + "' is not allowed (see --help: the run lasts 60 s to 7 days)";
            return SoakParse::USAGE_ERROR;
        }
    }
    if (options->peers.empty() || options->runId.empty()) {
        *error = "--peers and --run-id are needed (feeder_soak.sh gives them)";
        return SoakParse::USAGE_ERROR;
    }
    return SoakParse::RUN;
}

std::string SoakHelpText()
{
    return "usage: zelmoor_feeder_soak --peers PORTS --run-id ID [--seconds S | --minutes M] [--seed N]\n"
           "                           [--fault KIND]\n"
           "One feeder serves channels 0-9 from files, UDP and RTP from ffmpeg, TCP and HTTP\n"
           "servers and cmd: programs, while five host processes zap among their channels\n"
           "and faults are injected; every visit is checked, and the feeder's and the hosts'\n"
           "handles, threads and private bytes are counted after warm-up and at the end.\n"
           "Run it through feeder_soak.sh, which starts the outside peers (PORTS) first.\n"
           "\n"
           "  --seconds S, --minutes M  how long: 60 s to 7 days (default 180 s)\n"
           "  --seed N                  the zaps' and faults' randomness (default: from the clock;\n"
           "                            printed at the start, to run the same again)\n"
           "  --fault KIND              only this fault: server, udp-pause, cmd-exit,\n"
           "                            file-replace, host-kill, host-stall\n"
           "  --feeder PATH             soak this zelmoor_feeder.exe (default: the one built\n"
           "                            with the soak), e.g. a copy kept apart for a long run\n"
           "  -h, --help                show this text\n"
           "\n"
           "exit codes: 0 every check held, 1 a check failed, 2 usage error, 3 setup failed\n";
}
