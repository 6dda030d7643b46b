// The feeder soak's command line. Plain C++.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// About three minutes: the run every test run makes.
constexpr double SOAK_BOUNDED_SECONDS = 180.0;

struct SoakOptions {
    double      seconds = SOAK_BOUNDED_SECONDS;
    uint64_t    seed = 0;
    bool        seedGiven = false;
    std::string peers;          // the ports soak_peers.py wrote
    std::string runId;          // in every name the run makes, so leftovers can be found
    int         onlyFault = -1; // a FaultKind, or -1 for every kind
    std::string feeder;         // the feeder to soak; empty: the one built beside the soak
};

enum class SoakParse { RUN, HELP, USAGE_ERROR };
SoakParse ParseSoakOptions(const std::vector<std::string>& args, SoakOptions* options, std::string* error);
std::string SoakHelpText();
// "server", "udp-pause", ...: -1 for none of them.
int FaultKindByName(const std::string& name);
