#include "service_command.h"

#include <cctype>

#include "feeder_options.h"

namespace {

const char NEEDS_QUOTES[] = " \t\"";

// Dropped from the stored line: they say how to install, not how to run.
bool InstallOnly(const std::string& arg)
{
    return arg == "--install-service";
}

bool TakesAccountValue(const std::string& arg)
{
    return arg == "--service-account";
}

bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

} // namespace

std::string QuoteArgument(const std::string& arg)
{
    if (!arg.empty() && arg.find_first_of(NEEDS_QUOTES) == std::string::npos)
        return arg;
    // Backslashes count only before a quote: there they are doubled, and the quote escaped.
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, '\\');   // before the closing quote
    return quoted + "\"";
}

bool IsAbsolutePath(const std::string& path)
{
    const bool drive = path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':'
                    && IsSeparator(path[2]);
    const bool unc = path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1]);
    return drive || unc;
}

std::string ServiceCommandLine(const std::string& exe, const std::vector<std::string>& installArgs,
                               const std::string& logPath)
{
    std::string line = QuoteArgument(exe) + " " + SERVICE_RUN_SWITCH;
    bool logGiven = false;
    for (size_t i = 0; i < installArgs.size(); ++i) {
        const std::string& arg = installArgs[i];
        if (InstallOnly(arg))
            continue;
        if (TakesAccountValue(arg)) {
            ++i;
            continue;
        }
        if (arg.compare(0, sizeof "--service-account=" - 1, "--service-account=") == 0)
            continue;
        logGiven = logGiven || arg == "--log" || arg.compare(0, sizeof "--log=" - 1, "--log=") == 0;
        line += " " + QuoteArgument(arg);
    }
    if (!logGiven)
        line += " --log " + QuoteArgument(logPath);
    return line;
}
