// The transport streams that the build made with ffmpeg beside the tests.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "driver_module.h"
#include "wide.h"

// Three seconds each, at constant mux rates, with PIDs from 0x100, 0x200 and 0x300.
inline std::string StreamPath(const char* name)
{
    return Narrow(ProgramDirectory()) + "streams\\" + name;
}

std::vector<uint8_t> ReadWholeFile(const std::string& path);
