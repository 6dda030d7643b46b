// How long a network or program source may stay silent before that counts as
// trouble, and the ?timeout=S option that changes it. Plain C++, so the parsers
// that read the option are fuzzed natively.
#pragma once
#include <cstdint>
#include <string>

const uint32_t SILENCE_LIMIT_DEFAULT_MS = 10 * 1000;
const double   SILENCE_LIMIT_MIN_SECONDS = 0.1;
const double   SILENCE_LIMIT_MAX_SECONDS = 3600.0;
extern const char SILENCE_OPTION[];     // "timeout"

// The value of timeout=S; false with *why naming the allowed range.
bool ParseSilenceLimit(const std::string& value, uint32_t* ms, std::string* why);

// "10", "0.3": a limit in seconds, for messages.
std::string SilenceLimitText(uint32_t ms);
