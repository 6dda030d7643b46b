// The text of mappings, "N=SOURCE", from the command line or the lines of a map
// file: split and checked before any source kind reads its part. Plain C++, so
// the parsing is fuzzed natively.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct MapLine {
    size_t      number;     // from 1
    std::string content;    // trimmed; neither blank nor a comment
};

// The lines of a map that hold mappings.
std::vector<MapLine> MapLines(const std::string& text);
// Splits one mapping; false with *why when it has no '=' or its channel is no
// number from 0 to lastChannel. The source comes back trimmed.
bool SplitMapping(const std::string& text, uint32_t lastChannel, uint32_t* channel, std::string* source,
                  std::string* why);
