#include "writer_report.h"

#include <cinttypes>
#include <cstdio>

#include "figures.h"

namespace {

const size_t LINE_CAPACITY = 256;

} // namespace

std::string FormatWriterProgress(const SendStats& stats, double seconds)
{
    char line[LINE_CAPACITY];
    std::snprintf(line, sizeof line, "%9.1f MiB  %7.1f MB/s  %" PRIu64 " writes",
                  static_cast<double>(stats.bytes) / BYTES_PER_MIB, MegabytesPerSecond(stats.bytes, seconds),
                  stats.writes);
    return line;
}

std::string FormatWriterSummary(const SendStats& stats, double seconds)
{
    char line[LINE_CAPACITY];
    std::snprintf(line, sizeof line, "writer: wrote %" PRIu64 " bytes into the pipe in %" PRIu64 " writes, %.2f s, %.1f MB/s\n",
                  stats.bytes, stats.writes, seconds, MegabytesPerSecond(stats.bytes, seconds));
    return line;
}
