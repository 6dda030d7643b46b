#include "write_trust.h"

#include <algorithm>
#include <cstddef>

namespace {

const char LOCAL_SYSTEM_SID[] = "S-1-5-18";
const char ADMINISTRATORS_SID[] = "S-1-5-32-544";
const char USERS_SID[] = "S-1-5-32-545";
const char TRUSTED_INSTALLER_SID[] = "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
const char EVERYONE_SID[] = "S-1-1-0";
// Stands for whoever owns the object: its rights are the owner's.
const char OWNER_RIGHTS_SID[] = "S-1-3-4";
// Placeholders replaced when an entry is inherited: on the object itself they match no one.
const char CREATOR_OWNER_SID[] = "S-1-3-0";
const char CREATOR_GROUP_SID[] = "S-1-3-1";
// Local and domain accounts; the built-in service accounts are shared by many services.
const char USER_SID_START[] = "S-1-5-21-";

const uint32_t WRITE_DATA_OR_ADD_FILE = 0x0002;
const uint32_t APPEND_DATA_OR_ADD_SUBFOLDER = 0x0004;
const uint32_t WRITE_EXTENDED_ATTRIBUTES = 0x0010;
const uint32_t DELETE_CHILD = 0x0040;
const uint32_t WRITE_ATTRIBUTES = 0x0100;
const uint32_t DELETE_OBJECT = 0x00010000;
const uint32_t WRITE_PERMISSIONS = 0x00040000;
const uint32_t WRITE_OWNERSHIP = 0x00080000;
const uint32_t GENERIC_EVERYTHING = 0x10000000;
const uint32_t GENERIC_WRITING = 0x40000000;

// How icacls names a folder's grants that its files and subfolders inherit.
const char INHERITED_BY_CONTENTS[] = "(OI)(CI)";
const size_t   DRIVE_ROOT_LENGTH = 3;      // "C:\"

bool IsUserSid(const std::string& sid)
{
    return sid.compare(0, sizeof USER_SID_START - 1, USER_SID_START) == 0;
}

void AddWriter(std::vector<UntrustedWriter>* writers, const std::string& sid, bool owner, bool ownEntry)
{
    auto found = std::find_if(writers->begin(), writers->end(),
                              [&](const UntrustedWriter& w) { return w.sid == sid; });
    if (found == writers->end())
        found = writers->insert(writers->end(), UntrustedWriter{sid, false, false});
    found->owner = found->owner || owner;
    found->ownEntry = found->ownEntry || ownEntry;
}

bool IsDriveRoot(const std::string& path)
{
    return path.size() == DRIVE_ROOT_LENGTH && path[1] == ':'
        && (path[2] == '\\' || path[2] == '/');
}

std::string Grant(const std::string& sid, const std::string& inherit, const std::string& rights)
{
    return " *" + sid + ":" + inherit + rights;
}

std::string JoinNames(const std::vector<UntrustedWriter>& writers, const std::vector<std::string>& names)
{
    std::string text;
    for (size_t i = 0; i < writers.size(); ++i) {
        if (i > 0)
            text += i + 1 == writers.size() ? " and " : ", ";
        text += i < names.size() ? names[i] : writers[i].sid;
        if (writers[i].owner)
            text += " (its owner)";
    }
    return text;
}

} // namespace

const uint32_t DANGEROUS_RIGHTS = WRITE_DATA_OR_ADD_FILE | APPEND_DATA_OR_ADD_SUBFOLDER | WRITE_EXTENDED_ATTRIBUTES
                                | DELETE_CHILD | WRITE_ATTRIBUTES | DELETE_OBJECT | WRITE_PERMISSIONS
                                | WRITE_OWNERSHIP | GENERIC_EVERYTHING | GENERIC_WRITING;

bool TrustedWriter(const std::string& sid, const std::string& serviceSid)
{
    return sid == LOCAL_SYSTEM_SID || sid == ADMINISTRATORS_SID || sid == TRUSTED_INSTALLER_SID
        || sid == CREATOR_OWNER_SID || sid == CREATOR_GROUP_SID || (sid == serviceSid && IsUserSid(sid));
}

std::vector<UntrustedWriter> UntrustedWriters(const ObjectSecurity& security, const std::string& serviceSid)
{
    std::vector<UntrustedWriter> writers;
    // An owner may always rewrite the permissions, whatever the entries say.
    if (!security.owner.empty() && !TrustedWriter(security.owner, serviceSid))
        AddWriter(&writers, security.owner, true, false);
    if (!security.hasDacl) {
        AddWriter(&writers, EVERYONE_SID, false, false);
        return writers;
    }
    for (const AccessEntry& entry : security.entries) {
        if (!entry.allows || entry.inheritOnly || (entry.mask & DANGEROUS_RIGHTS) == 0)
            continue;
        const std::string& sid = entry.sid == OWNER_RIGHTS_SID ? security.owner : entry.sid;
        if (!TrustedWriter(sid, serviceSid))
            AddWriter(&writers, sid, false, !entry.inherited);
    }
    return writers;
}

std::string TrustFix(const std::string& path, bool folder, TrustedUse use,
                     const std::vector<UntrustedWriter>& writers, const std::string& serviceSid)
{
    if (IsDriveRoot(path))
        return "A drive's root must stay open to its users: put the file in a folder of its own, and let only"
               " administrators change that folder.";
    const std::string quoted = "\"" + path + "\"";
    const std::string inherit = folder ? INHERITED_BY_CONTENTS : "";
    std::string command;
    if (std::any_of(writers.begin(), writers.end(), [](const UntrustedWriter& w) { return w.owner; }))
        command = "icacls " + quoted + " /setowner *" + ADMINISTRATORS_SID + " && ";
    command += "icacls " + quoted + " /inheritance:r /grant:r" + Grant(LOCAL_SYSTEM_SID, inherit, "F")
             + Grant(ADMINISTRATORS_SID, inherit, "F");
    std::vector<std::string> granted = {LOCAL_SYSTEM_SID, ADMINISTRATORS_SID};
    // The service writes its log; users go on running the programs.
    if (use == TrustedUse::DATA && IsUserSid(serviceSid)) {
        command += Grant(serviceSid, inherit, "M");
        granted.push_back(serviceSid);
    }
    if (use == TrustedUse::PROGRAM) {
        command += Grant(USERS_SID, inherit, "RX");
        granted.push_back(USERS_SID);
    }
    // Inherited entries go with /inheritance:r; the object's own ones must be named.
    for (const UntrustedWriter& writer : writers)
        if (writer.ownEntry && std::find(granted.begin(), granted.end(), writer.sid) == granted.end())
            command += " /remove:g *" + writer.sid;
    return "To let only administrators change it, run from an administrator's command prompt: " + command;
}

std::string UntrustedMessage(const std::string& subject, const std::vector<UntrustedWriter>& writers,
                             const std::vector<std::string>& names, const std::string& fix)
{
    return subject + " can be changed by " + JoinNames(writers, names)
         + ", and a service trusts only what SYSTEM, Administrators, TrustedInstaller or its own account can"
           " change. " + fix;
}
