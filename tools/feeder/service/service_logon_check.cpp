#include "service_logon_check.h"

#include <windows.h>

#include <algorithm>
#include <iterator>

#include "system_error.h"
#include "wide.h"

namespace {

// Answers that mean the service could not log on with what was typed either.
const DWORD REFUSED_LOGONS[] = {ERROR_LOGON_FAILURE, ERROR_ACCOUNT_RESTRICTION, ERROR_INVALID_LOGON_HOURS,
                                ERROR_INVALID_WORKSTATION, ERROR_PASSWORD_EXPIRED, ERROR_ACCOUNT_DISABLED,
                                ERROR_ACCOUNT_EXPIRED, ERROR_PASSWORD_MUST_CHANGE, ERROR_ACCOUNT_LOCKED_OUT};

// NO_ERROR, or the system's answer to a logon with the account's name and password.
DWORD LogOn(const ServiceAccount& account)
{
    const size_t slash = account.name.find('\\');   // ParseServiceAccount made sure of one
    const std::wstring domain = Widen(account.name.substr(0, slash));
    const std::wstring user = Widen(account.name.substr(slash + 1));
    std::wstring password = Widen(account.password);
    HANDLE token = NULL;
    // The logon the service manager makes at the service's start, so the answer is the same as then.
    const BOOL ok = LogonUserW(user.c_str(), domain.c_str(), password.c_str(), LOGON32_LOGON_SERVICE,
                               LOGON32_PROVIDER_DEFAULT, &token);
    const DWORD error = ok ? NO_ERROR : GetLastError();
    SecureZeroMemory(&password[0], password.size() * sizeof(wchar_t));
    if (ok)
        CloseHandle(token);
    return error;
}

bool PasswordIsTyped()
{
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != FALSE;
}

bool TypedTwiceAlike(const ServiceAccount& account, std::string* why)
{
    std::string again;
    if (!ReadServicePassword(account.name + " once more", &again, why))
        return false;
    const bool same = again == account.password;
    SecureZeroMemory(&again[0], again.size());
    if (!same)
        *why = "the two passwords typed for " + account.name + " differ; nothing was installed";
    return same;
}

} // namespace

bool CheckServicePassword(const ServiceAccount& account, std::string* why, std::string* note)
{
    const DWORD error = LogOn(account);
    // The account lacks the right to log on as a service, which the install grants next; the
    // system says so only once the password has passed.
    if (error == NO_ERROR || error == ERROR_LOGON_TYPE_NOT_GRANTED)
        return true;
    if (std::find(std::begin(REFUSED_LOGONS), std::end(REFUSED_LOGONS), error) != std::end(REFUSED_LOGONS)) {
        *why = "Windows refuses to log on as " + account.name + " with that password (" + SystemErrorText(error)
             + "), so the service could not start; nothing was installed: check the account and install again";
        return false;
    }
    if (PasswordIsTyped())
        return TypedTwiceAlike(account, why);
    *note = "cannot check the password of " + account.name + " now (" + SystemErrorText(error)
          + "); if it is wrong, the service will not start";
    return true;
}
