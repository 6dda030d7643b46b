#include "cmd_settings.h"

#include "source_prefix.h"
#include "source_query.h"
#include "settings_reader.h"
#include "url_password.h"

namespace {

const char PREFIX[] = "cmd:";
const char TIMEOUT_STARTS[] = "?";      // a command line's own '&' is the shell's
const char BLANKS[] = " \t";

bool ReadCmdSettings(const std::string& text, CmdSettings* settings, std::string* why)
{
    if (!CheckSourcePrefix(text, PREFIX, why))
        return false;
    settings->commandLine = text.substr(sizeof PREFIX - 1);
    std::string value;
    // Only a trailing ?timeout=S is the feeder's; one the program should see
    // is followed by another, or quoted.
    if (SplitTrailingOption(settings->commandLine, SILENCE_OPTION, TIMEOUT_STARTS, &settings->commandLine, &value)
        && !ParseSilenceLimit(value, &settings->silenceLimitMs, why))
        return false;
    if (settings->commandLine.find_first_not_of(BLANKS) == std::string::npos) {
        *why = "no command line after cmd:";
        return false;
    }
    return true;
}

} // namespace

bool ParseCmdSettings(const std::string& text, CmdSettings* out, std::string* why)
{
    return ReadHidingPasswords(ReadCmdSettings, text, out, why);
}
