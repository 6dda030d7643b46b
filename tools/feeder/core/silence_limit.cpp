#include "silence_limit.h"

#include "numbers.h"

#include <cmath>

const char SILENCE_OPTION[] = "timeout";

namespace {

const double MS_PER_SECOND = 1000.0;

} // namespace

bool ParseSilenceLimit(const std::string& value, uint32_t* ms, std::string* why)
{
    double seconds = 0.0;
    if (!ParseSeconds(value, SILENCE_LIMIT_MAX_SECONDS, &seconds) || seconds < SILENCE_LIMIT_MIN_SECONDS) {
        *why = std::string(SILENCE_OPTION) + " needs seconds from " + SecondsText(SILENCE_LIMIT_MIN_SECONDS) + " to "
             + SecondsText(SILENCE_LIMIT_MAX_SECONDS) + ", not '" + value + "'";
        return false;
    }
    *ms = static_cast<uint32_t>(std::lround(seconds * MS_PER_SECOND));
    return true;
}

std::string SilenceLimitText(uint32_t ms)
{
    return SecondsText(ms / MS_PER_SECOND);
}
