#include "service_logon_right.h"

#include <ntsecapi.h>

#include <vector>

#include "wide.h"

namespace {

const wchar_t SERVICE_LOGON_RIGHT[] = L"SeServiceLogonRight";
const char    THIS_COMPUTER[] = ".\\";
const DWORD   SID_BYTES_MAX = SECURITY_MAX_SID_SIZE;
const DWORD   DOMAIN_CHARS_MAX = 256;

// ".\user" names a local account, which the lookup finds by its bare name.
std::wstring LookupName(const std::string& account)
{
    if (account.compare(0, sizeof THIS_COMPUTER - 1, THIS_COMPUTER) == 0)
        return Widen(account.substr(sizeof THIS_COMPUTER - 1));
    return Widen(account);
}

LSA_UNICODE_STRING LsaText(const wchar_t* text)
{
    const USHORT bytes = static_cast<USHORT>(wcslen(text) * sizeof(wchar_t));
    return LSA_UNICODE_STRING{bytes, bytes, const_cast<wchar_t*>(text)};
}

} // namespace

bool GrantServiceLogonRight(const std::string& account, DWORD* error)
{
    std::vector<BYTE> sid(SID_BYTES_MAX);
    DWORD sidBytes = SID_BYTES_MAX;
    wchar_t domain[DOMAIN_CHARS_MAX];
    DWORD domainChars = DOMAIN_CHARS_MAX;
    SID_NAME_USE use;
    if (!LookupAccountNameW(NULL, LookupName(account).c_str(), sid.data(), &sidBytes, domain, &domainChars, &use)) {
        *error = GetLastError();
        return false;
    }
    LSA_OBJECT_ATTRIBUTES attributes = {};
    LSA_HANDLE policy = NULL;
    NTSTATUS status = LsaOpenPolicy(NULL, &attributes, POLICY_LOOKUP_NAMES | POLICY_CREATE_ACCOUNT, &policy);
    if (status == 0) {
        LSA_UNICODE_STRING right = LsaText(SERVICE_LOGON_RIGHT);
        status = LsaAddAccountRights(policy, sid.data(), &right, 1);
        LsaClose(policy);
    }
    *error = LsaNtStatusToWinError(status);
    return status == 0;
}
