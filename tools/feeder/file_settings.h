// How a file: source plays its recording, as its text gave it.
#pragma once
#include <cstdint>
#include <string>

#include "packet_pacer.h"

struct FileSettings {
    std::string path;
    PaceMode    pace = PaceMode::PCR;
    uint64_t    rate = 0;
    bool        loop = false;
};
