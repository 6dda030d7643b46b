#include <cstdlib>
#include <cstring>
#include "bench_config.h"

namespace {

constexpr int MIN_RUNS = 3;

const BenchOptions FULL = {false, ALL_SECTIONS, 5, 1.5, 150, MIN_RUNS, 10000, 100, 30, 64};
const BenchOptions QUICK = {true, ALL_SECTIONS, MIN_RUNS, 0.5, 50, MIN_RUNS, 2000, 30, 20, 16};

struct SectionName {
    const char* name;
    unsigned    bit;
};

const SectionName SECTION_NAMES[] = {
    {"throughput", SECTION_THROUGHPUT}, {"latency", SECTION_LATENCY}, {"cpu", SECTION_CPU},
    {"memory", SECTION_MEMORY}, {"select", SECTION_SELECT},
};

unsigned SectionBit(const char* name)
{
    for (const SectionName& s : SECTION_NAMES)
        if (strcmp(s.name, name) == 0)
            return s.bit;
    return 0;
}

}  // namespace

bool ParseOptions(int argc, char** argv, BenchOptions& options)
{
    options = FULL;
    int runs = 0;
    unsigned only = 0;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--quick") == 0)
            options = QUICK;
        else if (strcmp(argv[i], "--runs") == 0 && i + 1 < argc)
            runs = atoi(argv[++i]);
        else if (strcmp(argv[i], "--only") == 0 && i + 1 < argc && SectionBit(argv[i + 1]) != 0)
            only |= SectionBit(argv[++i]);
        else
            return false;
    }
    options.sections = only != 0 ? only : ALL_SECTIONS;
    if (runs != 0) {
        if (runs < MIN_RUNS)
            return false;
        options.runs = runs;
        options.cpuRuns = runs;
    }
    return true;
}
