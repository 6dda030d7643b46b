// tcp://HOST:PORT[?timeout=S]: what the text asks for, in plain C++, so the
// parsing is fuzzed natively; the TCP source looks the host up and connects.
#pragma once
#include "silence_limit.h"

#include <cstdint>
#include <string>

struct TcpSettings {
    std::string host;           // a name, a dotted IPv4 address, or an IPv6 address without brackets
    uint16_t    port = 0;       // 1-65535
    uint32_t    silenceLimitMs = SILENCE_LIMIT_DEFAULT_MS;
};

// False with *why set when the text is malformed; *why never repeats a URL's password.
bool ParseTcpSettings(const std::string& text, TcpSettings* out, std::string* why);
