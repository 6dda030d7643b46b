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

// Splits at the first '?' (which no address holds).
SourceQuery SplitSourceQuery(const std::string& text);

// Splits at the last '?' that starts one of the `known` options, so that a path
// may hold a '?' of its own (\\?\C:\...). Without such a '?' all is base.
SourceQuery SplitAtLastKnownOption(const std::string& text, const std::vector<std::string>& known);

// For texts that are not the feeder's own (a command line, a URL): a trailing
// "NAME=VALUE" after one of the characters in `starts`, VALUE free of spaces
// and quotes, is taken off; *base is the text before it. False when the text
// does not end so.
bool SplitTrailingOption(const std::string& text, const std::string& name, const std::string& starts,
                         std::string* base, std::string* value);
