// Number arguments: plain decimal, or a count with a binary suffix for sizes.
#pragma once
#include <cstdint>
#include <string>

// Decimal digits only, within [minimum, maximum].
bool ParseUnsigned(const std::string& text, uint64_t minimum, uint64_t maximum, uint64_t* out);

// Like ParseUnsigned, with an optional K, M or G suffix meaning 2^10, 2^20 or 2^30.
bool ParseByteCount(const std::string& text, uint64_t minimum, uint64_t maximum, uint64_t* out);

// A bit rate: decimal digits with an optional K, M or G suffix meaning 10^3, 10^6
// or 10^9, as bit rates are counted (2M is 2,000,000 bits per second).
bool ParseBitRate(const std::string& text, uint64_t minimum, uint64_t maximum, uint64_t* out);

// A positive decimal number of seconds such as "2" or "0.5", at most maximum.
bool ParseSeconds(const std::string& text, double maximum, double* out);

// The counterparts for messages that state a range: the largest suffix that
// divides the value exactly ("1M", "1048576G", "100G", "1316"), and seconds as
// short as they go ("3600", "0.5").
std::string ByteCountText(uint64_t value);
std::string BitRateText(uint64_t value);
std::string SecondsText(double value);
