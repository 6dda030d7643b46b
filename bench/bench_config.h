// Fixed sizes, counts and rates of the benchmark, and how long each measurement runs.
#pragma once
#include <windows.h>
#include "driver_module.h"  // BLOCK_BYTES, PipeName

constexpr DWORD BENCH_CHANNEL = 0;
constexpr DWORD PACKET_BYTES = 188;
constexpr DWORD PACKETS_PER_DATAGRAM = 7;
constexpr DWORD DATAGRAM_BYTES = PACKET_BYTES * PACKETS_PER_DATAGRAM;     // 1,316
constexpr DWORD BULK_WRITE_BYTES = 2 * BLOCK_BYTES;                       // 96,256
constexpr DWORD RANDOM_WRITE_MIN = 1;
constexpr DWORD RANDOM_WRITE_MAX = 64 * 1024;
constexpr DWORD LARGEST_WRITE = BULK_WRITE_BYTES;

// The driver's fixed design, mirrored here to compute its ceiling.
constexpr DWORD DESIGN_READS_PER_SLEEP = 16;
constexpr DWORD DESIGN_POLL_MS = 10;

constexpr double PACED_BYTES_PER_SECOND = 3e6;      // 24 Mbit/s, a broadcast stream
constexpr double BYTES_PER_MB = 1e6;
constexpr double BYTES_PER_KIB = 1024.0;
constexpr double BYTES_PER_MIB = BYTES_PER_KIB * BYTES_PER_KIB;
constexpr double BITS_PER_BYTE = 8.0;
constexpr double BITS_PER_MBIT = 1e6;
constexpr double MS_PER_SECOND = 1000.0;
constexpr double PERCENT = 100.0;

constexpr DWORD CONNECT_LIMIT_MS = 5000;     // a writer that cannot connect by then fails the run
constexpr DWORD DRAIN_IDLE_LIMIT_MS = 5000;  // a host that sees nothing for this long gives up

enum BenchSection : unsigned {
    SECTION_THROUGHPUT = 1u << 0,
    SECTION_LATENCY = 1u << 1,
    SECTION_CPU = 1u << 2,
    SECTION_MEMORY = 1u << 3,
    SECTION_SELECT = 1u << 4,
    ALL_SECTIONS = (1u << 5) - 1,
};

struct BenchOptions {
    bool    quick;
    unsigned sections;          // BenchSection bits
    int     runs;               // repetitions of every measurement
    double  streamSeconds;      // writing time of one throughput run
    int     latencySamples;     // writes per latency run
    int     cpuRuns;            // CPU-time windows per load, the longest measurement
    DWORD   cpuWindowMs;        // length of one CPU-time window
    int     selectCycles;       // select/close cycles per run
    int     sleepSamples;       // Sleep(10) calls per ceiling estimate
    DWORD   heapStreamMiB;      // streamed between the two heap censuses
};

// --quick for a short run, --runs N to repeat every measurement N times (at least 3),
// --only NAME (throughput, latency, cpu, memory, select; repeatable) for some sections.
bool ParseOptions(int argc, char** argv, BenchOptions& options);
