#include "file_settings.h"

#include "numbers.h"
#include "source_prefix.h"
#include "source_query.h"
#include "settings_reader.h"
#include "url_password.h"

#include <algorithm>
#include <vector>

namespace {

const char PREFIX[] = "file:";
const std::vector<std::string> FILE_OPTIONS = {"pace", "rate", "loop", "live"};
const char FILE_OPTIONS_TAKEN[] = "(file: takes pace=none, rate=BITS, loop and live)";
const char LONG_PATH_PREFIX[] = "\\\\?\\";    // \\?\ : the one '?' a Windows path may hold

bool ApplyFileOption(const QueryOption& option, FileSettings* settings, std::string* why)
{
    if ((option.name == "loop" || option.name == "live") && option.hasValue) {
        *why = option.name + " takes no value";
        return false;
    } else if (option.name == "loop") {
        settings->loop = true;
    } else if (option.name == "live") {
        settings->live = true;
    } else if (option.name == "pace" && option.value == "none") {
        settings->pace = PaceMode::NONE;
    } else if (option.name == "pace" && option.value == "pcr") {
        settings->pace = PaceMode::PCR;
    } else if (option.name == "pace") {
        *why = "pace takes none or pcr, not '" + option.value + "'";
        return false;
    } else if (option.name == "rate") {
        if (!ParseBitRate(option.value, FILE_RATE_MIN, FILE_RATE_MAX, &settings->rate)) {
            *why = "rate needs bits per second from 1K to 10G (K, M, G count thousands), not '"
                 + option.value + "'";
            return false;
        }
        settings->pace = PaceMode::RATE;
    } else {
        *why = "unknown option '" + option.name + "' " + FILE_OPTIONS_TAKEN;
        return false;
    }
    return true;
}

// A '?' left in the path beyond a long-path prefix starts options the file
// source does not know: say so rather than look for a file of that name.
bool CheckNoStrayQuery(const std::string& path, std::string* why)
{
    const size_t prefix = path.compare(0, sizeof LONG_PATH_PREFIX - 1, LONG_PATH_PREFIX) == 0
                          ? sizeof LONG_PATH_PREFIX - 1 : 0;
    const size_t stray = path.find('?', prefix);
    if (stray == std::string::npos)
        return true;
    const std::string name = SplitSourceQuery(path.substr(stray)).options.front().name;
    if (std::find(FILE_OPTIONS.begin(), FILE_OPTIONS.end(), name) != FILE_OPTIONS.end())
        *why = "a second '?' before " + name + " (join options with &)";
    else
        *why = "unknown option '" + name + "' " + FILE_OPTIONS_TAKEN;
    return false;
}

// A live channel never ends, and its place comes from the PCRs, which also pace it.
bool CheckLive(const FileSettings& settings, std::string* why)
{
    if (!settings.live)
        return true;
    if (!settings.loop) {
        *why = "live needs loop: a live channel has no end (file:PATH?loop&live)";
        return false;
    }
    if (settings.pace != PaceMode::PCR) {
        *why = "live plays at the pace of the recording's PCRs, which place each visit: "
               "it takes no pace=none or rate=";
        return false;
    }
    return true;
}

bool ReadFileSettings(const std::string& text, FileSettings* settings, std::string* why)
{
    if (!CheckSourcePrefix(text, PREFIX, why))
        return false;
    const SourceQuery query = SplitAtLastKnownOption(text.substr(sizeof PREFIX - 1), FILE_OPTIONS);
    if (query.base.empty()) {
        *why = "no path after file:";
        return false;
    }
    if (!CheckNoStrayQuery(query.base, why))
        return false;
    settings->path = query.base;
    bool paceGiven = false;
    for (const QueryOption& option : query.options) {
        const bool pacing = option.name == "pace" || option.name == "rate";
        if (pacing && paceGiven) {
            *why = "give only one of pace= and rate=";
            return false;
        }
        paceGiven = paceGiven || pacing;
        if (!ApplyFileOption(option, settings, why))
            return false;
    }
    return CheckLive(*settings, why);
}

} // namespace

bool ParseFileSettings(const std::string& text, FileSettings* out, std::string* why)
{
    return ReadHidingPasswords(ReadFileSettings, text, out, why);
}
