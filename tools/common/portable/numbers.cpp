#include "numbers.h"

#include <cstdio>
#include <cstdlib>

namespace {

const uint64_t DECIMAL_BASE = 10;
const unsigned KIB_SHIFT = 10;
const unsigned MIB_SHIFT = 20;
const unsigned GIB_SHIFT = 30;
const uint64_t KILO = 1000;
const uint64_t MEGA = 1000 * KILO;
const uint64_t GIGA = 1000 * MEGA;

bool ParseDigits(const std::string& text, uint64_t* out)
{
    if (text.empty())
        return false;
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        const uint64_t digit = static_cast<uint64_t>(c - '0');
        if (value > (UINT64_MAX - digit) / DECIMAL_BASE)
            return false;
        value = value * DECIMAL_BASE + digit;
    }
    *out = value;
    return true;
}

bool SuffixShift(char suffix, unsigned* shift)
{
    switch (suffix) {
    case 'K': case 'k': *shift = KIB_SHIFT; return true;
    case 'M': case 'm': *shift = MIB_SHIFT; return true;
    case 'G': case 'g': *shift = GIB_SHIFT; return true;
    default:            return false;
    }
}

bool DecimalMultiplier(char suffix, uint64_t* multiplier)
{
    switch (suffix) {
    case 'K': case 'k': *multiplier = KILO; return true;
    case 'M': case 'm': *multiplier = MEGA; return true;
    case 'G': case 'g': *multiplier = GIGA; return true;
    default:            return false;
    }
}

const char     SUFFIXES[] = "KMG";
const size_t   SUFFIX_COUNT = 3;
const size_t   SECONDS_TEXT_CAPACITY = 32;

// The value with the largest of the suffixes whose step divides it.
std::string WithSuffix(uint64_t value, const uint64_t steps[SUFFIX_COUNT])
{
    for (size_t i = SUFFIX_COUNT; i-- > 0;)
        if (value != 0 && value % steps[i] == 0)
            return std::to_string(value / steps[i]) + SUFFIXES[i];
    return std::to_string(value);
}

} // namespace

bool ParseUnsigned(const std::string& text, uint64_t minimum, uint64_t maximum, uint64_t* out)
{
    uint64_t value = 0;
    if (!ParseDigits(text, &value) || value < minimum || value > maximum)
        return false;
    *out = value;
    return true;
}

bool ParseByteCount(const std::string& text, uint64_t minimum, uint64_t maximum, uint64_t* out)
{
    unsigned shift = 0;
    std::string digits = text;
    if (!digits.empty() && SuffixShift(digits.back(), &shift))
        digits.pop_back();
    uint64_t value = 0;
    if (!ParseDigits(digits, &value) || value > (UINT64_MAX >> shift))
        return false;
    value <<= shift;
    if (value < minimum || value > maximum)
        return false;
    *out = value;
    return true;
}

bool ParseBitRate(const std::string& text, uint64_t minimum, uint64_t maximum, uint64_t* out)
{
    uint64_t multiplier = 1;
    std::string digits = text;
    if (!digits.empty() && DecimalMultiplier(digits.back(), &multiplier))
        digits.pop_back();
    uint64_t value = 0;
    if (!ParseDigits(digits, &value) || value > UINT64_MAX / multiplier)
        return false;
    value *= multiplier;
    if (value < minimum || value > maximum)
        return false;
    *out = value;
    return true;
}

bool ParseSeconds(const std::string& text, double maximum, double* out)
{
    if (text.empty() || text.find_first_not_of("0123456789.") != std::string::npos)
        return false;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || !(value > 0.0) || value > maximum)
        return false;
    *out = value;
    return true;
}

std::string ByteCountText(uint64_t value)
{
    const uint64_t steps[SUFFIX_COUNT] = {1ull << KIB_SHIFT, 1ull << MIB_SHIFT, 1ull << GIB_SHIFT};
    return WithSuffix(value, steps);
}

std::string BitRateText(uint64_t value)
{
    const uint64_t steps[SUFFIX_COUNT] = {KILO, MEGA, GIGA};
    return WithSuffix(value, steps);
}

std::string SecondsText(double value)
{
    char text[SECONDS_TEXT_CAPACITY];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}
