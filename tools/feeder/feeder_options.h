// The feeder's command line and map file: which source feeds which channel.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "parse_outcome.h"
#include "source.h"
#include "status_endpoint.h"

constexpr uint32_t FEEDER_CHANNELS = 10;
// The switch the stored command line of the service starts with: run under the service manager.
constexpr char SERVICE_RUN_SWITCH[] = "--service";

struct ChannelMapping {
    uint32_t                        channel = 0;
    std::shared_ptr<SourceConfig>   source;
    std::string                     origin;     // "argument 2" or "map.txt line 4", for messages
    std::string                     written;    // the source as written, password too: what a map reload compares
};

// Run in the console, register or remove the service, or run under the service manager.
enum class ServiceMode { NONE, INSTALL, REMOVE, RUN };

struct FeederOptions {
    std::vector<ChannelMapping> mappings;       // in channel order
    double                      seconds = 0.0;  // 0: until Ctrl+C
    std::string                 logPath;        // empty: no log file
    std::string                 mapPath;        // the last --map file as given; empty without one
    std::vector<std::string>    mapPaths;       // every --map as given, in order
    ServiceMode                 service = ServiceMode::NONE;
    bool                        allowCommands = false;  // a service may run cmd: sources
    std::string                 serviceAccount;         // empty: LocalSystem
    std::vector<std::string>    args;           // as given, for the service's stored command line
    std::string                 watchedMap;     // the one --map FILE, watched while running; empty for none or -
    std::string                 watchedMapText; // what watchedMap held when it was read at start
    std::vector<ChannelMapping> fixedMappings;  // the ones not from watchedMap, which its changes leave alone
    bool                        statusPage = false;     // --status: serve the status page
    StatusEndpoint              statusEndpoint;
};

// One "N=SOURCE" mapping; false with *why set.
bool ParseMapping(const std::string& text, ChannelMapping* mapping, std::string* why);

// Reads "N=SOURCE" lines; `origin` names the file in messages. Comments (#) and blank lines are skipped.
ParseOutcome ParseMapText(const std::string& text, const std::string& origin, std::vector<ChannelMapping>* out);

// Reads a map file, or standard input for "-", as UTF-8 text. False with *why and
// with *error set to the system's error (0 when the bytes themselves are at fault).
bool ReadMapFile(const std::string& path, std::string* text, std::string* why, unsigned long* error);
// A whole set of mappings checked: no channel twice; put in channel order.
ParseOutcome FinishMappings(std::vector<ChannelMapping>* mappings);

// Arguments without the program name. A map file that cannot be read gives
// USAGE_ERROR with *mapFileUnreadable set.
ParseOutcome ParseFeederOptions(const std::vector<std::string>& args, FeederOptions* options,
                                bool* mapFileUnreadable);

const char* FeederHelpText();
