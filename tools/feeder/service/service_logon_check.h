// A named account's password checked at install by logging on with it, so that a
// typo fails there, while the user is at hand, and not at the next boot.
#pragma once
#include <string>

#include "service_account.h"

// True when the system accepts the account's name and password. False with *why
// when it refuses them (a wrong password, a disabled or locked account). When it
// cannot tell (no domain controller within reach), a password typed at the console
// is asked for once more and must match; a piped one is taken, with *note saying
// that it could not be checked.
bool CheckServicePassword(const ServiceAccount& account, std::string* why, std::string* note);
