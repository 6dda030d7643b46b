// The command line the service manager stores for the feeder's service: the
// feeder itself, in service mode, with the options the install was given.
#pragma once
#include <string>
#include <vector>

// One argument quoted so that the program's argument parser gets it back unchanged.
std::string QuoteArgument(const std::string& arg);
// "C:\..." or "\\server\..." (a drive-relative or relative path is neither).
bool IsAbsolutePath(const std::string& path);
// The service's stored command line: the executable, the service switch, --log
// LOG_PATH, and the install's other arguments without the install-only ones.
std::string ServiceCommandLine(const std::string& exe, const std::vector<std::string>& installArgs,
                               const std::string& logPath);
