// The writer's figures and how they are printed.
#pragma once
#include <cstdint>
#include <string>

struct SendStats {
    uint64_t    bytes = 0;      // written and digested
    uint64_t    writes = 0;
};

std::string FormatWriterProgress(const SendStats& stats, double seconds);
std::string FormatWriterSummary(const SendStats& stats, double seconds);
