// Splits a command line into options in the usual long form: "--name VALUE",
// "--name=VALUE" and bare flags; "--" ends the options. "-h" stands for "--help"
// wherever there is one.
#pragma once
#include <string>
#include <vector>

struct OptionRule {
    const char* name;       // without the leading "--"
    bool        takesValue;
};

struct ScannedOption {
    std::string name;
    std::string value;      // empty for flags
};

struct ScanResult {
    std::vector<ScannedOption> options;   // in command-line order
    std::string                error;     // empty when the line was well formed
};

ScanResult ScanArguments(const std::vector<std::string>& args,
                         const std::vector<OptionRule>& rules);
