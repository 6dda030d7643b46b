// zelmoor_writer's command line.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "parse_outcome.h"

enum class SourceKind { NONE, FILE, STDIN, GENERATED };

struct WriterOptions {
    uint32_t    channel = 0;
    SourceKind  source = SourceKind::NONE;
    std::string filePath;               // SourceKind::FILE
    uint64_t    bytes = 0;              // SourceKind::GENERATED
    uint64_t    seed = 1;
    uint32_t    pid = 0x100;
    uint64_t    rateBitsPerSecond = 0;  // 0: as fast as possible
    uint32_t    writeSize = 1316;       // seven packets
    uint32_t    randomMin = 0;          // both 0: fixed writeSize
    uint32_t    randomMax = 0;
    double      waitSeconds = 10.0;
};

ParseOutcome ParseWriterOptions(const std::vector<std::string>& args, WriterOptions* options);
std::string  WriterHelpText();
