// Number arguments: plain decimal, or a count with a binary suffix for sizes.
#pragma once
#include <cstdint>
#include <string>

// Decimal digits only, within [minimum, maximum].
bool ParseUnsigned(const std::string& text, uint64_t minimum, uint64_t maximum, uint64_t* out);

// Like ParseUnsigned, with an optional K, M or G suffix meaning 2^10, 2^20 or 2^30.
bool ParseByteCount(const std::string& text, uint64_t minimum, uint64_t maximum, uint64_t* out);

// A positive decimal number of seconds such as "2" or "0.5", at most maximum.
bool ParseSeconds(const std::string& text, double maximum, double* out);
