// The kind's prefix a source text must start with. The feeder's table of kinds
// only hands a parser texts with its prefix; the check keeps each parser whole
// on its own, as the fuzz target calls it.
#pragma once
#include <string>

// True when `text` starts with `prefix`; otherwise false with *why saying so.
bool CheckSourcePrefix(const std::string& text, const std::string& prefix, std::string* why);
