#include <cstdlib>
#include <cstring>
#include "bench_config.h"

namespace {

constexpr int MIN_RUNS = 3;

const BenchOptions FULL = {false, 5, 1.5, 150, 10000, 100, 30, 64};
const BenchOptions QUICK = {true, MIN_RUNS, 0.5, 50, 2000, 30, 20, 16};

}  // namespace

bool ParseOptions(int argc, char** argv, BenchOptions& options)
{
    options = FULL;
    int runs = 0;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--quick") == 0)
            options = QUICK;
        else if (strcmp(argv[i], "--runs") == 0 && i + 1 < argc)
            runs = atoi(argv[++i]);
        else
            return false;
    }
    if (runs != 0) {
        if (runs < MIN_RUNS)
            return false;
        options.runs = runs;
    }
    return true;
}
