#include "host_report.h"

#include <cinttypes>
#include <cstdio>

#include "figures.h"

namespace {

const size_t LINE_CAPACITY = 256;

} // namespace

std::string FormatHostProgress(const DrainStats& stats, double seconds)
{
    char line[LINE_CAPACITY];
    std::snprintf(line, sizeof line,
                  "%9.1f MiB  %7.1f MB/s  %" PRIu64 " blocks  %" PRIu64 " empty  ready %u",
                  static_cast<double>(stats.bytes) / BYTES_PER_MIB, MegabytesPerSecond(stats.bytes, seconds),
                  stats.blocks, stats.emptyBlocks, stats.readyNow);
    return line;
}

std::string FormatHostSummary(const DrainStats& stats, double seconds, StopReason reason)
{
    const uint64_t dataBlocks = stats.blocks - stats.emptyBlocks;
    const double meanBlock = dataBlocks ? static_cast<double>(stats.bytes) / static_cast<double>(dataBlocks) : 0.0;
    const double streaming = stats.lastDataSeconds - stats.firstDataSeconds;
    char text[LINE_CAPACITY * 2];
    std::snprintf(text, sizeof text,
                  "host: stopped: %s\n"
                  "host: received %" PRIu64 " bytes in %.2f s, %.1f MB/s; "
                  "%.1f MB/s over the %.2f s from first to last data\n"
                  "host: blocks %" PRIu64 " (%" PRIu64 " with data, mean %.0f bytes; %" PRIu64 " empty), "
                  "ready count at most %u\n",
                  StopReasonText(reason), stats.bytes, seconds, MegabytesPerSecond(stats.bytes, seconds),
                  MegabytesPerSecond(stats.bytes, streaming), streaming,
                  stats.blocks, dataBlocks, meanBlock, stats.emptyBlocks, stats.readyMax);
    return text;
}
