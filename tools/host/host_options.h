// zelmoor_host's command line.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "parse_outcome.h"

struct HostOptions {
    std::string dllPath;            // empty: the driver of the program's bitness beside it
    uint32_t    channel = 0;
    bool        copy = false;       // CopyStream instead of TakeStream
    std::string outPath;            // empty: discard
    uint64_t    bytes = 0;          // 0: no byte limit
    double      seconds = 0.0;      // 0: no time limit
    bool        untilGone = false;
};

ParseOutcome ParseHostOptions(const std::vector<std::string>& args, HostOptions* options);
const char*  HostHelpText();
