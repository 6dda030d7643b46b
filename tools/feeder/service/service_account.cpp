#include "service_account.h"

#include <windows.h>

#include <cstdio>

#include "system_error.h"
#include "wide.h"

namespace {

const char  LOCAL_SYSTEM[] = "LocalSystem";
const char  BUILT_IN_DOMAIN[] = "NT AUTHORITY\\";
const DWORD PASSWORD_CHARS_MAX = 256;

bool SameText(const std::string& a, const std::string& b)
{
    return CompareStringOrdinal(Widen(a).c_str(), -1, Widen(b).c_str(), -1, TRUE) == CSTR_EQUAL;
}

// A line from the console with echo off, restored afterwards.
bool ReadConsoleLine(HANDLE in, std::wstring* line)
{
    DWORD mode = 0;
    GetConsoleMode(in, &mode);
    SetConsoleMode(in, (mode & ~ENABLE_ECHO_INPUT) | ENABLE_LINE_INPUT | ENABLE_PROCESSED_INPUT);
    wchar_t buffer[PASSWORD_CHARS_MAX];
    DWORD got = 0;
    const BOOL ok = ReadConsoleW(in, buffer, PASSWORD_CHARS_MAX, &got, NULL);
    SetConsoleMode(in, mode);
    std::fputs("\n", stderr);     // the user's Enter was not echoed
    line->assign(buffer, ok ? got : 0);
    return ok != FALSE;
}

bool ReadPipedLine(HANDLE in, std::wstring* line)
{
    std::string bytes;
    char c = 0;
    DWORD got = 0;
    while (bytes.size() < PASSWORD_CHARS_MAX && ReadFile(in, &c, 1, &got, NULL) && got == 1 && c != '\n')
        bytes += c;
    *line = Widen(bytes);
    return !bytes.empty() || got == 1;
}

} // namespace

bool ParseServiceAccount(const std::string& text, ServiceAccount* account, std::string* why)
{
    account->name.clear();
    if (text.empty() || SameText(text, LOCAL_SYSTEM))
        return true;
    const size_t slash = text.find('\\');
    if (slash == std::string::npos || slash == 0 || slash + 1 == text.size()
        || text.find('\\', slash + 1) != std::string::npos) {
        *why = "--service-account takes LocalSystem, DOMAIN\\user or .\\user, not '" + text + "'";
        return false;
    }
    account->name = text;
    return true;
}

bool AccountNeedsPassword(const ServiceAccount& account)
{
    return !account.name.empty() && !SameText(account.name.substr(0, sizeof BUILT_IN_DOMAIN - 1), BUILT_IN_DOMAIN);
}

bool ReadServicePassword(const std::string& account, std::string* password, std::string* why)
{
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    const bool console = GetConsoleMode(in, &mode) != FALSE;
    if (console)
        std::fprintf(stderr, "password of %s (not shown): ", account.c_str());
    std::wstring line;
    const bool read = in != NULL && in != INVALID_HANDLE_VALUE
                   && (console ? ReadConsoleLine(in, &line) : ReadPipedLine(in, &line));
    while (!line.empty() && (line.back() == L'\r' || line.back() == L'\n'))
        line.pop_back();
    if (!read) {
        *why = "no password for " + account + " could be read (" + SystemErrorText(GetLastError())
             + "); type it when asked, or pipe it on standard input";
        return false;
    }
    *password = Narrow(line);
    SecureZeroMemory(&line[0], line.size() * sizeof(wchar_t));
    return true;
}
