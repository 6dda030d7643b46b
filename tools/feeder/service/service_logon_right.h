// The right a named account needs to run a service ("Log on as a service"),
// granted at install as the Services console does when an account is set there.
#pragma once
#include <windows.h>

#include <string>

// True once the account holds the right; false with *error (a Windows error number).
bool GrantServiceLogonRight(const std::string& account, DWORD* error);
