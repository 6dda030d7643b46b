// zelmoor_bench: the driver's speed, latency and cost, beside a raw pipe and the
// design's own ceiling. Every figure is a median over runs, with min and max.
#include <climits>
#include <cstdio>
#include "bench_config.h"
#include "driver_module.h"
#include "sections.h"

namespace {

void PrintHeader(const BenchOptions& options)
{
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    // Both drivers are measured by a bench of their bitness; the header says which one this is.
    printf("zelmoor_bench: %ls, %d-bit; %d runs per figure (%d for CPU time)%s, %lu processors\n",
           DriverFileName(), static_cast<int>(sizeof(void*) * CHAR_BIT), options.runs, options.cpuRuns,
           options.quick ? ", quick" : "", static_cast<unsigned long>(system.dwNumberOfProcessors));
    printf("Rates in MiB/s (2^20 bytes) unless marked Mbit/s (10^6 bits).\n");
}

}  // namespace

int main(int argc, char** argv)
{
    BenchOptions options;
    if (!ParseOptions(argc, argv, options)) {
        fprintf(stderr, "usage: zelmoor_bench [--quick] [--runs N (N >= 3)] "
                        "[--only throughput|latency|cpu|memory|select]...\n");
        return 2;
    }
    DriverModule module;
    IBonDriver2* tuner = module.Load() ? module.Create() : nullptr;
    if (tuner == nullptr) {
        fprintf(stderr, "zelmoor_bench: cannot load the driver beside the program\n");
        return 1;
    }
    PrintHeader(options);
    if (options.sections & SECTION_THROUGHPUT)
        RunThroughputSection(tuner, options);
    if (options.sections & SECTION_LATENCY)
        RunLatencySection(tuner, options);
    if (options.sections & SECTION_CPU)
        RunCpuSection(tuner, options);
    if (options.sections & SECTION_MEMORY)
        RunMemorySection(tuner, module.Handle(), options);
    if (options.sections & SECTION_SELECT)
        RunSelectCycleSection(tuner, options);
    return 0;
}
