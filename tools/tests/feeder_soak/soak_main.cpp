// zelmoor_feeder_soak: see SoakHelpText, and feeder_soak.sh which starts it.
#include <winsock2.h>

#include <cstdio>

#include "feeder_soak.h"
#include "wide.h"

namespace {

enum SoakExit { SOAK_PASSED = 0, SOAK_FAILED = 1, SOAK_USAGE = 2, SOAK_SETUP = 3 };

} // namespace

int wmain(int argc, wchar_t** argv)
{
    SoakOptions options;
    std::string error;
    switch (ParseSoakOptions(NarrowArguments(argc, argv), &options, &error)) {
    case SoakParse::HELP:
        std::fputs(SoakHelpText().c_str(), stdout);
        return SOAK_PASSED;
    case SoakParse::USAGE_ERROR:
        std::fprintf(stderr, "zelmoor_feeder_soak: %s (try --help)\n", error.c_str());
        return SOAK_USAGE;
    case SoakParse::RUN:
        break;
    }
    if (!options.seedGiven)
        options.seed = GetTickCount64();
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) {
        std::fprintf(stderr, "zelmoor_feeder_soak: cannot start Windows sockets\n");
        return SOAK_SETUP;
    }
    FeederSoak soak(options);
    if (!soak.Setup(&error)) {
        std::fprintf(stderr, "zelmoor_feeder_soak: %s\n", error.c_str());
        return SOAK_SETUP;
    }
    const bool passed = soak.Run();
    WSACleanup();
    return passed ? SOAK_PASSED : SOAK_FAILED;
}
