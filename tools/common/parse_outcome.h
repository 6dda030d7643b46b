// What a tool's option parser decided.
#pragma once
#include <string>

struct ParseOutcome {
    enum Kind { RUN, HELP, USAGE_ERROR };
    Kind        kind = RUN;
    std::string message;    // the reason, for USAGE_ERROR

    static ParseOutcome Run() { return ParseOutcome{}; }
    static ParseOutcome Help() { return ParseOutcome{HELP, ""}; }
    static ParseOutcome Error(const std::string& why) { return ParseOutcome{USAGE_ERROR, why}; }
};
