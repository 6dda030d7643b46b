// zelmoor_host's command line.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "parse_outcome.h"

// Long enough for a writer started by hand; short enough that a script notices.
constexpr double HOST_WAIT_SECONDS_DEFAULT = 30.0;

struct HostOptions {
    std::string dllPath;            // empty: the driver of the program's bitness beside it
    uint32_t    channel = 0;
    bool        copy = false;       // CopyStream instead of TakeStream
    std::string outPath;            // empty: discard
    uint64_t    bytes = 0;          // 0: no byte limit
    double      seconds = 0.0;      // 0: no time limit
    bool        untilGone = false;
    double      waitSeconds = HOST_WAIT_SECONDS_DEFAULT;   // --until-gone: for the first data
};

ParseOutcome ParseHostOptions(const std::vector<std::string>& args, HostOptions* options);
std::string  HostHelpText();
