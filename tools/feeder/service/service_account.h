// The account the feeder's service runs as: LocalSystem unless the install names
// a user, whose password is asked for at the console and never taken from the
// command line, where other users and process lists would see it.
#pragma once
#include <string>

struct ServiceAccount {
    std::string     name;           // empty: LocalSystem
    std::string     password;       // for a named user; empty for built-in accounts
};

// "LocalSystem" (or empty), "DOMAIN\user" or ".\user"; false with *why otherwise.
bool ParseServiceAccount(const std::string& text, ServiceAccount* account, std::string* why);
// Built-in accounts (NT AUTHORITY\...) have no password to ask for.
bool AccountNeedsPassword(const ServiceAccount& account);
// Asks for the password on the console without echo; standard input when it is no
// console (a script's pipe). False with *why when there is nothing to read.
bool ReadServicePassword(const std::string& account, std::string* password, std::string* why);
