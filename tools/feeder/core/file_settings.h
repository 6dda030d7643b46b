// file:PATH[?pace=none|pcr|?rate=BITS][&loop][&live]: what the text asks for, in plain
// C++, so the parsing is fuzzed natively; the file source plays it.
#pragma once
#include "packet_pacer.h"

#include <cstdint>
#include <string>

const uint64_t FILE_RATE_MIN = 1000;                // 1K bits per second
const uint64_t FILE_RATE_MAX = 10000000000ull;      // 10G

struct FileSettings {
    std::string path;
    PaceMode    pace = PaceMode::PCR;
    uint64_t    rate = 0;           // bits per second, for PaceMode::RATE only
    bool        loop = false;
    bool        live = false;       // a visit joins where the loop would be had it played since the start
};

// False with *why set when the text is malformed; *why never repeats a URL's password.
bool ParseFileSettings(const std::string& text, FileSettings* out, std::string* why);
