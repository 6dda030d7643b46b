// "WHAT?name=value&flag": the options that follow a source's address.
#pragma once
#include <string>
#include <vector>

struct QueryOption {
    std::string name;
    std::string value;
    bool        hasValue = false;
};

struct SourceQuery {
    std::string                 base;       // before the '?'
    std::vector<QueryOption>    options;    // in the order written
};

// Splits at the first '?' (which neither a path nor an address holds).
SourceQuery SplitSourceQuery(const std::string& text);
