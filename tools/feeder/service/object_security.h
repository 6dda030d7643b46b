// A file's or folder's owner and access list as the system holds them, read into
// the terms of the write-trust rule, and the accounts behind the SIDs.
#pragma once
#include <windows.h>

#include <string>

#include "write_trust.h"

// The owner and DACL of a security descriptor (a NULL or missing DACL as none).
ObjectSecurity DescribeSecurity(PSECURITY_DESCRIPTOR descriptor);
// The same for a file or folder; false with *error (a Windows error number).
bool ReadObjectSecurity(const std::string& path, ObjectSecurity* security, DWORD* error);

// "S-1-5-32-544"; empty for no SID.
std::string SidText(PSID sid);
// "BUILTIN\Users", "Everyone"; the SID itself when the system cannot name it.
std::string AccountName(const std::string& sid);
// The SID of an account name ("DOMAIN\user", ".\user"); empty when it is unknown.
std::string AccountSid(const std::string& account);
// The user this process runs as.
std::string ProcessUserSid();
