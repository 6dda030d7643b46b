// http:// and https:// URLs with an optional trailing timeout=S: the part of the
// parsing that is plain C++ (scheme, the feeder's own option, the port), fuzzed
// natively. Host, path and credentials are split by WinHTTP on the Windows side,
// which then asks for exactly what it understood.
#pragma once
#include "silence_limit.h"

#include <cstdint>
#include <string>

struct HttpSettings {
    std::string url;            // the text without the feeder's timeout=S
    bool        secure = false; // https://
    uint16_t    port = 0;       // 1-65535 as written after the host; 0 when none is written
    uint32_t    silenceLimitMs = SILENCE_LIMIT_DEFAULT_MS;
};

// False with *why set when the text is malformed; *why never repeats a URL's password.
bool ParseHttpSettings(const std::string& text, HttpSettings* out, std::string* why);
