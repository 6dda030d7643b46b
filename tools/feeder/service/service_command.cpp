#include "service_command.h"

#include <cctype>

#include "feeder_options.h"

namespace {

const char NEEDS_QUOTES[] = " \t\"";

// "--log", or "--log=FILE".
bool IsOptionWithValue(const std::string& arg, const std::string& name)
{
    return arg == name || arg.compare(0, name.size() + 1, name + "=") == 0;
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
    // The log comes first, so that a map that cannot be read at the service's start is logged too.
    std::string line = QuoteArgument(exe) + " " + SERVICE_RUN_SWITCH + " --log " + QuoteArgument(logPath);
    for (size_t i = 0; i < installArgs.size(); ++i) {
        const std::string& arg = installArgs[i];
        if (arg == "--install-service")
            continue;
        if (IsOptionWithValue(arg, "--log") || IsOptionWithValue(arg, "--service-account")) {
            i += arg.find('=') == std::string::npos ? 1 : 0;   // its value too, when given apart
            continue;
        }
        line += " " + QuoteArgument(arg);
    }
    return line;
}
