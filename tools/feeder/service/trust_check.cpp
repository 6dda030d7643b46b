#include "trust_check.h"

#include <windows.h>

#include <set>

#include "cmd_settings.h"
#include "command_program.h"
#include "feeder_role.h"
#include "object_security.h"
#include "service_command.h"
#include "service_host.h"
#include "service_install.h"
#include "system_error.h"
#include "wide.h"
#include "write_trust.h"

namespace {

const char  SEPARATORS[] = "\\/";
const char  COMMAND_PREFIX[] = "cmd:";
const char  STANDARD_INPUT[] = "-";
const DWORD PROGRAM_PATH_CHARS = 32768;
const DWORD SEARCH_PATH_CHARS = 32768;
const size_t DRIVE_LENGTH = 2;      // "C:"

// A file the service acts on, or the folder that holds one.
struct TrustedObject {
    std::string path;
    std::string file;       // "the map file C:\tv\channels.txt": the file itself, or the one the folder holds
    bool        folder;
    TrustedUse  use;
};

// "C:\tv" for "C:\tv\map.txt", "C:\" for "C:\map.txt"; empty for a root.
std::string ParentFolder(const std::string& path)
{
    const size_t end = path.find_last_not_of(SEPARATORS);
    const size_t slash = end == std::string::npos ? end : path.find_last_of(SEPARATORS, end);
    if (slash == std::string::npos || path.find_first_not_of(SEPARATORS) >= slash)
        return std::string();   // a root, or a share's server
    std::string parent = path.substr(0, slash);
    if (parent.size() == DRIVE_LENGTH && parent[1] == ':')
        parent += '\\';
    return parent;
}

void AddFileAndFolder(std::vector<TrustedObject>* objects, const std::string& path, const std::string& what,
                      TrustedUse use)
{
    // The folder first: its fix also mends what the file inherits from it.
    const std::string file = what + " " + path;
    const std::string folder = ParentFolder(path);
    if (!folder.empty())
        objects->push_back(TrustedObject{folder, file, true, use});
    objects->push_back(TrustedObject{path, file, false, use});
}

std::string ProgramPath()
{
    std::wstring path(PROGRAM_PATH_CHARS, L'\0');
    path.resize(GetModuleFileNameW(NULL, &path[0], PROGRAM_PATH_CHARS));
    return Narrow(path);
}

bool Exists(const std::string& path)
{
    return GetFileAttributesW(Widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Where the system would find a command line's program as it starts it; a full
// path that is not there yet is where it would be. Empty when it cannot be told.
std::string FindProgram(const std::string& commandLine)
{
    const std::vector<std::string> candidates = ProgramCandidates(commandLine);
    for (const std::string& name : candidates) {
        std::wstring found(SEARCH_PATH_CHARS, L'\0');
        const DWORD chars = SearchPathW(NULL, Widen(name).c_str(), NULL, SEARCH_PATH_CHARS, &found[0], NULL);
        if (chars > 0 && chars < SEARCH_PATH_CHARS) {
            found.resize(chars);
            return Narrow(found);
        }
    }
    return !candidates.empty() && IsAbsolutePath(candidates.front()) ? candidates.front() : std::string();
}

// The programs of cmd: sources; false with *why for one that cannot be found.
bool AddPrograms(std::vector<TrustedObject>* objects, const std::vector<ChannelMapping>& mappings, std::string* why)
{
    for (const ChannelMapping& mapping : mappings) {
        const std::string& text = mapping.source->Text();
        CmdSettings settings;
        std::string unused;
        if (text.compare(0, sizeof COMMAND_PREFIX - 1, COMMAND_PREFIX) != 0
            || !ParseCmdSettings(text, &settings, &unused))
            continue;
        const std::string what = "the program of channel " + std::to_string(mapping.channel);
        const std::string program = FindProgram(settings.commandLine);
        if (program.empty()) {
            *why = mapping.origin + ": " + what + " cannot be found, so who may change it cannot be checked; give"
                   " its full path";
            return false;
        }
        AddFileAndFolder(objects, program, what, TrustedUse::PROGRAM);
    }
    return true;
}

// A path not made yet is as safe as the nearest folder above it that exists.
std::string NearestExisting(const std::string& path)
{
    std::string at = path;
    while (!at.empty() && !Exists(at))
        at = ParentFolder(at);
    return at;
}

std::string CheckObject(const TrustedObject& object, const std::string& serviceSid, std::set<std::string>* checked)
{
    const std::string path = NearestExisting(object.path);
    if (path.empty() || !checked->insert(path).second)
        return std::string();
    const bool standIn = path != object.path;
    const std::string subject = standIn ? "the folder " + path + " (where " + object.file + " would be made)"
                              : object.folder ? "the folder " + path + " (which holds " + object.file + ")"
                                              : object.file;
    ObjectSecurity security;
    DWORD error = 0;
    if (!ReadObjectSecurity(path, &security, &error))
        return "cannot read who may change " + subject + " (" + SystemErrorText(error) + ")";
    const std::vector<UntrustedWriter> writers = UntrustedWriters(security, serviceSid);
    if (writers.empty())
        return std::string();
    std::vector<std::string> names;
    for (const UntrustedWriter& writer : writers)
        names.push_back(AccountName(writer.sid));
    const std::string fix = TrustFix(path, object.folder || standIn, object.use, writers, serviceSid);
    return UntrustedMessage(subject, writers, names, fix);
}

std::string CheckAll(const FeederOptions& options, const std::vector<ChannelMapping>& mappings,
                     const std::string& logPath, const std::string& serviceSid)
{
    std::vector<TrustedObject> objects;
    for (const std::string& map : options.mapPaths)
        if (map != STANDARD_INPUT)
            AddFileAndFolder(&objects, map, "the map file", TrustedUse::DATA);
    if (!logPath.empty())
        AddFileAndFolder(&objects, logPath, "the log", TrustedUse::DATA);
    AddFileAndFolder(&objects, ProgramPath(), "the feeder's program", TrustedUse::PROGRAM);
    std::string why;
    if (options.allowCommands && !AddPrograms(&objects, mappings, &why))
        return why;
    std::set<std::string> checked;
    for (const TrustedObject& object : objects) {
        why = CheckObject(object, serviceSid, &checked);
        if (!why.empty())
            return why;
    }
    return std::string();
}

bool RunningUnderWine()
{
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != NULL && GetProcAddress(ntdll, "wine_get_version") != NULL;
}

// The account the installed service will run as.
std::string InstalledServiceSid(const ServiceAccount& account)
{
    // Wine runs every service as the one user of its prefix, whatever the install named.
    if (RunningUnderWine())
        return ProcessUserSid();
    return account.name.empty() ? std::string() : AccountSid(account.name);
}

} // namespace

std::string InstallTrustTrouble(const FeederOptions& options, const ServiceAccount& account)
{
    const std::string logPath = options.logPath.empty() ? DefaultServiceLogPath(options.mapPath, ProgramPath())
                                                        : options.logPath;
    return CheckAll(options, options.mappings, logPath, InstalledServiceSid(account));
}

bool UntrustedForThisRun(const FeederOptions& options, const std::vector<ChannelMapping>& mappings, std::string* why)
{
    if (CurrentFeederRole() != FeederRole::SERVICE)
        return false;
    *why = CheckAll(options, mappings, options.logPath, ProcessUserSid());
    return !why->empty();
}

bool ReloadTrust::operator()(const std::vector<ChannelMapping>& mappings, std::string* why)
{
    std::string trouble;
    if (!UntrustedForThisRun(*m_options, mappings, &trouble)) {
        m_said.clear();
        return true;
    }
    if (trouble != m_said)
        ReportToEventLog("zelmoor_feeder: " + m_options->watchedMap + ": refused, keeping the map in use: " + trouble,
                         EVENTLOG_ERROR_TYPE);
    m_said = trouble;
    *why = trouble;
    return false;
}
