// cmd:COMMAND LINE[?timeout=S]: what the text asks for, in plain C++, so the
// parsing is fuzzed natively; the program source starts the command line.
#pragma once
#include "silence_limit.h"

#include <cstdint>
#include <string>

struct CmdSettings {
    std::string commandLine;    // never blank
    uint32_t    silenceLimitMs = SILENCE_LIMIT_DEFAULT_MS;
};

// False with *why set when the text is malformed; *why never repeats a URL's password.
bool ParseCmdSettings(const std::string& text, CmdSettings* out, std::string* why);
