#include "object_security.h"

#include <aclapi.h>
#include <sddl.h>

#include <vector>

#include "wide.h"

namespace {

const SECURITY_INFORMATION OWNER_AND_DACL = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
const DWORD NAME_CHARS_MAX = 256;
const DWORD TOKEN_USER_BYTES = sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE;
const char  THIS_COMPUTER[] = ".\\";

// Allow entries whose SID sits right after the mask. Object entries belong to
// directory objects; a file system keeps none.
bool IsPlainAllow(BYTE type)
{
    return type == ACCESS_ALLOWED_ACE_TYPE || type == ACCESS_ALLOWED_CALLBACK_ACE_TYPE;
}

AccessEntry DescribeEntry(const ACE_HEADER* header)
{
    AccessEntry entry;
    entry.inheritOnly = (header->AceFlags & INHERIT_ONLY_ACE) != 0;
    entry.inherited = (header->AceFlags & INHERITED_ACE) != 0;
    entry.allows = IsPlainAllow(header->AceType);
    if (entry.allows) {
        const auto* allow = reinterpret_cast<const ACCESS_ALLOWED_ACE*>(header);
        entry.mask = allow->Mask;
        entry.sid = SidText(const_cast<DWORD*>(&allow->SidStart));
    }
    return entry;
}

} // namespace

std::string SidText(PSID sid)
{
    wchar_t* text = NULL;
    if (sid == NULL || !ConvertSidToStringSidW(sid, &text))
        return std::string();
    const std::string narrow = Narrow(text);
    LocalFree(text);
    return narrow;
}

ObjectSecurity DescribeSecurity(PSECURITY_DESCRIPTOR descriptor)
{
    ObjectSecurity security;
    PSID owner = NULL;
    BOOL defaulted = FALSE;
    if (GetSecurityDescriptorOwner(descriptor, &owner, &defaulted))
        security.owner = SidText(owner);
    BOOL present = FALSE;
    PACL dacl = NULL;
    security.hasDacl = GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) && present && dacl != NULL;
    if (!security.hasDacl)
        return security;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = NULL;
        if (GetAce(dacl, i, &ace))
            security.entries.push_back(DescribeEntry(static_cast<const ACE_HEADER*>(ace)));
    }
    return security;
}

bool ReadObjectSecurity(const std::string& path, ObjectSecurity* security, DWORD* error)
{
    PSECURITY_DESCRIPTOR descriptor = NULL;
    *error = GetNamedSecurityInfoW(Widen(path).c_str(), SE_FILE_OBJECT, OWNER_AND_DACL, NULL, NULL, NULL, NULL,
                                   &descriptor);
    if (*error != ERROR_SUCCESS)
        return false;
    *security = DescribeSecurity(descriptor);
    LocalFree(descriptor);
    return true;
}

std::string AccountName(const std::string& sid)
{
    PSID binary = NULL;
    if (!ConvertStringSidToSidW(Widen(sid).c_str(), &binary))
        return sid;
    wchar_t name[NAME_CHARS_MAX];
    wchar_t domain[NAME_CHARS_MAX];
    DWORD nameChars = NAME_CHARS_MAX;
    DWORD domainChars = NAME_CHARS_MAX;
    SID_NAME_USE use;
    const bool named = LookupAccountSidW(NULL, binary, name, &nameChars, domain, &domainChars, &use) != FALSE;
    LocalFree(binary);
    if (!named)
        return sid;
    return domain[0] == L'\0' ? Narrow(name) : Narrow(domain) + "\\" + Narrow(name);
}

std::string AccountSid(const std::string& account)
{
    // ".\user" names a local account, which the lookup finds by its bare name.
    const bool local = account.compare(0, sizeof THIS_COMPUTER - 1, THIS_COMPUTER) == 0;
    const std::wstring name = Widen(local ? account.substr(sizeof THIS_COMPUTER - 1) : account);
    std::vector<BYTE> sid(SECURITY_MAX_SID_SIZE);
    DWORD sidBytes = SECURITY_MAX_SID_SIZE;
    wchar_t domain[NAME_CHARS_MAX];
    DWORD domainChars = NAME_CHARS_MAX;
    SID_NAME_USE use;
    if (!LookupAccountNameW(NULL, name.c_str(), sid.data(), &sidBytes, domain, &domainChars, &use))
        return std::string();
    return SidText(sid.data());
}

std::string ProcessUserSid()
{
    HANDLE token = NULL;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return std::string();
    std::vector<BYTE> buffer(TOKEN_USER_BYTES);
    DWORD bytes = 0;
    const bool read = GetTokenInformation(token, TokenUser, buffer.data(), TOKEN_USER_BYTES, &bytes) != FALSE;
    CloseHandle(token);
    return read ? SidText(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid) : std::string();
}
