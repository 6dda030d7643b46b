// The benchmark's sections, each measuring and printing one group of figures.
#pragma once
#include "IBonDriver.h"
#include "bench_config.h"

void RunThroughputSection(IBonDriver2* tuner, const BenchOptions& options);
void RunLatencySection(IBonDriver2* tuner, const BenchOptions& options);
void RunCpuSection(IBonDriver2* tuner, const BenchOptions& options);
void RunMemorySection(IBonDriver2* tuner, HMODULE driver, const BenchOptions& options);
void RunSelectCycleSection(IBonDriver2* tuner, const BenchOptions& options);
