// Who may change what a service trusts. A service acts on its map, writes its log
// and runs programs with rights that ordinary users lack, so only accounts that
// hold such rights already (SYSTEM, Administrators, TrustedInstaller, and the
// service's own account when that is a user) may change those files or folders.
// Plain C++: the Windows side reads an object's owner and access list into these
// terms, and the rule, the fix and the words are decided here.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// One entry of an access list, in the system's terms.
struct AccessEntry {
    std::string sid;                    // "S-1-1-0"
    uint32_t    mask = 0;               // the rights it grants or denies
    bool        allows = false;         // an allow entry; deny and audit entries grant nothing
    bool        inheritOnly = false;    // only for what is created inside, not for the object itself
    bool        inherited = false;      // taken from the folder above
};

struct ObjectSecurity {
    std::string                 owner;          // a SID; empty when the object has none
    bool                        hasDacl = true; // false: a NULL DACL, which lets everyone do anything
    std::vector<AccessEntry>    entries;
};

// An account besides the trusted ones that may change an object.
struct UntrustedWriter {
    std::string sid;
    bool        owner = false;          // owns it, so may change its permissions
    bool        ownEntry = false;       // an entry of the object's own (not inherited) lets it write
};

// What the service does with an object, which decides who keeps reading it after the fix.
enum class TrustedUse { DATA, PROGRAM };

// Write, delete, change-permission and take-ownership rights, and their generic forms.
extern const uint32_t DANGEROUS_RIGHTS;

// serviceSid: the account the service runs as; trusted only when it is a user's.
bool TrustedWriter(const std::string& sid, const std::string& serviceSid);
// Every account that may change the object but is not trusted, the owner first.
std::vector<UntrustedWriter> UntrustedWriters(const ObjectSecurity& security, const std::string& serviceSid);

// The icacls command (or, for a drive's root, the advice) that leaves the object to
// administrators, the service's own user account and, for programs, users who run them.
std::string TrustFix(const std::string& path, bool folder, TrustedUse use,
                     const std::vector<UntrustedWriter>& writers, const std::string& serviceSid);
// The whole refusal: what ("the map file C:\tv\channels.txt"), who may change it
// (names[i] is writers[i]'s account name), why it matters and the fix.
std::string UntrustedMessage(const std::string& subject, const std::vector<UntrustedWriter>& writers,
                             const std::vector<std::string>& names, const std::string& fix);
