#include "feeder_options.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>

#include "map_encoding.h"
#include "numbers.h"
#include "system_error.h"
#include "url_password.h"
#include "wide.h"

namespace {

const double SECONDS_MAX = 366.0 * 24 * 3600;
const char   STANDARD_INPUT[] = "-";
const DWORD  READ_PIECE_BYTES = 64 * 1024;

bool ReadAll(HANDLE h, std::string* text, DWORD* error)
{
    char piece[READ_PIECE_BYTES];
    DWORD got = 0;
    for (;;) {
        if (!ReadFile(h, piece, sizeof piece, &got, NULL)) {
            *error = GetLastError();
            return *error == ERROR_BROKEN_PIPE;     // a pipe's writer closing is its end
        }
        if (got == 0)
            return true;
        text->append(piece, got);
    }
}

} // namespace

bool ReadMapFile(const std::string& path, std::string* text, std::string* why, unsigned long* readError)
{
    const bool fromStdin = path == STANDARD_INPUT;
    HANDLE h = fromStdin ? GetStdHandle(STD_INPUT_HANDLE)
                         // Shared all ways: an editor saving at this moment must not fail for the feeder.
                         : CreateFileW(Widen(path).c_str(), GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL, OPEN_EXISTING,
                                       0, NULL);
    DWORD error = ERROR_INVALID_HANDLE;
    std::string bytes;
    const bool ok = h != NULL && h != INVALID_HANDLE_VALUE && ReadAll(h, &bytes, &error);
    if (!ok)
        error = h == INVALID_HANDLE_VALUE ? GetLastError() : error;
    if (!fromStdin && h != INVALID_HANDLE_VALUE)
        CloseHandle(h);
    if (!ok) {
        *why = "cannot read the map file " + MaskUrlPassword(path) + " (" + SystemErrorText(error) + ")";
        *readError = error;
        return false;
    }
    std::string trouble;
    *readError = 0;
    if (!MapBytesToUtf8(bytes, text, &trouble)) {
        *why = "cannot read the map file " + MaskUrlPassword(path) + " (" + trouble + ")";
        return false;
    }
    return true;
}

namespace {

ParseOutcome CheckRepeats(const std::vector<ChannelMapping>& mappings)
{
    for (size_t i = 0; i < mappings.size(); ++i)
        for (size_t j = 0; j < i; ++j)
            if (mappings[i].channel == mappings[j].channel)
                return ParseOutcome::Error(mappings[i].origin + ": channel " + std::to_string(mappings[i].channel)
                                           + " is mapped a second time (first in " + mappings[j].origin + ")");
    return ParseOutcome::Run();
}

ParseOutcome AddMapFile(const std::string& path, std::vector<ChannelMapping>* mappings, std::string* text,
                        bool* unreadable)
{
    std::string why;
    unsigned long error = 0;
    if (!ReadMapFile(path, text, &why, &error)) {
        *unreadable = true;
        return ParseOutcome::Error(why);
    }
    const std::string name = path == STANDARD_INPUT ? "standard input" : path;
    return ParseMapText(*text, name, mappings);
}

struct MapFileMappings {
    std::string                 path;
    std::vector<ChannelMapping> mappings;
    std::string                 text;       // as read
};

// Only a single map file is watched: with two, which one a channel belongs to would
// be a guess. Whatever it did not give stays as given.
void WatchSingleMapFile(const std::vector<MapFileMappings>& files, FeederOptions* options)
{
    const MapFileMappings* watched = nullptr;
    size_t named = 0;
    for (const MapFileMappings& file : files) {
        if (file.path != STANDARD_INPUT) {
            watched = &file;
            ++named;
        }
    }
    options->fixedMappings.clear();
    if (named == 1) {
        options->watchedMap = watched->path;
        options->watchedMapText = watched->text;
    }
    for (const ChannelMapping& mapping : options->mappings) {
        const bool fromWatched = named == 1 && std::any_of(watched->mappings.begin(), watched->mappings.end(),
                                                           [&](const ChannelMapping& m) { return m.origin == mapping.origin; });
        if (!fromWatched)
            options->fixedMappings.push_back(mapping);
    }
}

bool IsOption(const std::string& arg, const std::string& name)
{
    return arg == name || arg.compare(0, name.size() + 1, name + "=") == 0;
}

bool TakeValue(const std::vector<std::string>& args, size_t* i, const std::string& name, std::string* value)
{
    const std::string& arg = args[*i];
    if (arg.size() > name.size() && arg.compare(0, name.size() + 1, name + "=") == 0) {
        *value = arg.substr(name.size() + 1);
        return true;
    }
    if (*i + 1 >= args.size())
        return false;
    *value = args[++*i];
    return true;
}

// The service's switches; false when `arg` is none of them.
bool TakeServiceOption(const std::vector<std::string>& args, size_t* i, FeederOptions* options, ParseOutcome* outcome)
{
    const std::string& arg = args[*i];
    if (arg == "--install-service" || arg == "--remove-service" || arg == SERVICE_RUN_SWITCH)
        options->service = arg == SERVICE_RUN_SWITCH ? ServiceMode::RUN
                         : arg == "--remove-service" ? ServiceMode::REMOVE : ServiceMode::INSTALL;
    else if (arg == "--allow-commands")
        options->allowCommands = true;
    else if (IsOption(arg, "--service-account")) {
        if (!TakeValue(args, i, "--service-account", &options->serviceAccount) || options->serviceAccount.empty())
            *outcome = ParseOutcome::Error("--service-account needs LocalSystem, DOMAIN\\user or .\\user");
    } else if (IsOption(arg, "--log")) {
        if (!TakeValue(args, i, "--log", &options->logPath) || options->logPath.empty())
            *outcome = ParseOutcome::Error("--log needs a file name");
    } else
        return false;
    return true;
}

ParseOutcome CheckServiceUse(const FeederOptions& options)
{
    const bool installing = options.service == ServiceMode::INSTALL || options.service == ServiceMode::RUN;
    if (options.allowCommands && !installing)
        return ParseOutcome::Error("--allow-commands applies to --install-service only");
    if (!options.serviceAccount.empty() && options.service != ServiceMode::INSTALL)
        return ParseOutcome::Error("--service-account applies to --install-service only");
    return ParseOutcome::Run();
}

} // namespace

ParseOutcome FinishMappings(std::vector<ChannelMapping>* mappings)
{
    const ParseOutcome repeats = CheckRepeats(*mappings);
    if (repeats.kind != ParseOutcome::RUN)
        return repeats;
    std::sort(mappings->begin(), mappings->end(),
              [](const ChannelMapping& a, const ChannelMapping& b) { return a.channel < b.channel; });
    return ParseOutcome::Run();
}

ParseOutcome ParseFeederOptions(const std::vector<std::string>& args, FeederOptions* options, bool* unreadable)
{
    std::vector<ChannelMapping> mappings;
    std::vector<MapFileMappings> mapFiles;
    *unreadable = false;
    options->args = args;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        std::string value;
        ParseOutcome serviceOutcome = ParseOutcome::Run();
        if (arg == "-h" || arg == "--help")
            return ParseOutcome::Help();
        if (TakeServiceOption(args, &i, options, &serviceOutcome)) {
            if (serviceOutcome.kind != ParseOutcome::RUN)
                return serviceOutcome;
        } else if (IsOption(arg, "--map")) {
            if (!TakeValue(args, &i, "--map", &value))
                return ParseOutcome::Error("--map needs a file name (or - for standard input)");
            options->mapPath = value;
            options->mapPaths.push_back(value);
            std::vector<ChannelMapping> fromFile;
            std::string text;
            const ParseOutcome added = AddMapFile(value, &fromFile, &text, unreadable);
            if (added.kind != ParseOutcome::RUN)
                return added;
            mappings.insert(mappings.end(), fromFile.begin(), fromFile.end());
            mapFiles.push_back(MapFileMappings{value, fromFile, text});
        } else if (IsOption(arg, "--status")) {
            std::string why = "it needs PORT or ADDRESS:PORT";
            if (!TakeValue(args, &i, "--status", &value) || !ParseStatusEndpoint(value, &options->statusEndpoint, &why))
                return ParseOutcome::Error("--status: " + why);
            options->statusPage = true;
        } else if (IsOption(arg, "--seconds")) {
            if (!TakeValue(args, &i, "--seconds", &value) || !ParseSeconds(value, SECONDS_MAX, &options->seconds))
                return ParseOutcome::Error("--seconds needs a number of seconds above 0, up to a year, not '"
                                           + MaskUrlPassword(value) + "'");
        } else if (!arg.empty() && arg[0] == '-') {
            return ParseOutcome::Error("unknown option '" + MaskUrlPassword(arg) + "'");
        } else {
            ChannelMapping mapping;
            std::string why;
            mapping.origin = "argument " + std::to_string(i + 1);
            if (!ParseMapping(arg, &mapping, &why))
                return ParseOutcome::Error(mapping.origin + " '" + MaskUrlPassword(arg) + "': " + why);
            mappings.push_back(mapping);
        }
    }
    const ParseOutcome serviceUse = CheckServiceUse(*options);
    if (serviceUse.kind != ParseOutcome::RUN)
        return serviceUse;
    if (options->service == ServiceMode::REMOVE)
        return ParseOutcome::Run();   // removing needs no channel
    if (mappings.empty())
        return ParseOutcome::Error("no channel to feed: give N=SOURCE or --map FILE");
    const ParseOutcome finished = FinishMappings(&mappings);
    if (finished.kind != ParseOutcome::RUN)
        return finished;
    options->mappings = mappings;
    WatchSingleMapFile(mapFiles, options);
    return ParseOutcome::Run();
}
