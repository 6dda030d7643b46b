#include "writer_options.h"

#include "arg_scanner.h"
#include "numbers.h"

namespace {

const uint64_t CHANNEL_MAX = 9;             // pipe names have two digits: Zelmoor00..Zelmoor09
const uint64_t BYTES_MAX = 1ull << 50;
const uint64_t PID_MAX = 0x1FFF;            // 13 bits
const uint64_t RATE_MAX = 100000000000ull;  // 100 Gbit/s
const uint64_t WRITE_SIZE_MAX = 1u << 20;
const double   WAIT_SECONDS_MAX = 3600.0;
const char     STANDARD_STREAM[] = "-";

const std::vector<OptionRule> WRITER_OPTIONS = {
    {"help", false}, {"channel", true}, {"file", true}, {"stdin", false}, {"bytes", true},
    {"seed", true}, {"pid", true}, {"rate", true}, {"write-size", true},
    {"random-min", true}, {"random-max", true}, {"wait-seconds", true},
};

struct Seen {
    bool    writeSize = false;
    bool    randomMin = false;
    bool    randomMax = false;
};

ParseOutcome SetSource(SourceKind kind, WriterOptions* options)
{
    if (options->source != SourceKind::NONE && options->source != kind)
        return ParseOutcome::Error("give only one of --file, --stdin and --bytes");
    options->source = kind;
    return ParseOutcome::Run();
}

ParseOutcome BadValue(const std::string& name, const std::string& wanted, const std::string& value)
{
    return ParseOutcome::Error("--" + name + " needs " + wanted + ", not '" + value + "'");
}

std::string SizeRange(uint64_t maximum)
{
    return "a size from 1 byte to " + ByteCountText(maximum) + " (K, M, G: KiB, MiB, GiB)";
}

ParseOutcome ApplySize(const ScannedOption& option, WriterOptions* options, Seen* seen)
{
    uint64_t number = 0;
    if (!ParseByteCount(option.value, 1, WRITE_SIZE_MAX, &number))
        return BadValue(option.name, SizeRange(WRITE_SIZE_MAX), option.value);
    const uint32_t size = static_cast<uint32_t>(number);
    if (option.name == "write-size") {
        options->writeSize = size;
        seen->writeSize = true;
    } else if (option.name == "random-min") {
        options->randomMin = size;
        seen->randomMin = true;
    } else {
        options->randomMax = size;
        seen->randomMax = true;
    }
    return ParseOutcome::Run();
}

ParseOutcome ApplyOption(const ScannedOption& option, WriterOptions* options, Seen* seen)
{
    const std::string& n = option.name;
    const std::string& v = option.value;
    uint64_t number = 0;
    if (n == "channel") {
        if (!ParseUnsigned(v, 0, CHANNEL_MAX, &number))
            return BadValue(n, "a channel from 0 to " + std::to_string(CHANNEL_MAX), v);
        options->channel = static_cast<uint32_t>(number);
    } else if (n == "file") {
        if (v.empty())
            return ParseOutcome::Error("--file needs a file name");
        if (v == STANDARD_STREAM)
            return SetSource(SourceKind::STDIN, options);
        options->filePath = v;
        return SetSource(SourceKind::FILE, options);
    } else if (n == "stdin") {
        return SetSource(SourceKind::STDIN, options);
    } else if (n == "bytes") {
        if (!ParseByteCount(v, 1, BYTES_MAX, &options->bytes))
            return BadValue(n, SizeRange(BYTES_MAX), v);
        return SetSource(SourceKind::GENERATED, options);
    } else if (n == "seed") {
        if (!ParseUnsigned(v, 0, UINT64_MAX, &options->seed))
            return BadValue(n, "a number from 0 to " + std::to_string(UINT64_MAX), v);
    } else if (n == "pid") {
        if (!ParseUnsigned(v, 0, PID_MAX, &number))
            return BadValue(n, "a PID from 0 to " + std::to_string(PID_MAX), v);
        options->pid = static_cast<uint32_t>(number);
    } else if (n == "rate") {
        if (!ParseBitRate(v, 1, RATE_MAX, &options->rateBitsPerSecond))
            return BadValue(n, "a bit rate from 1 to " + BitRateText(RATE_MAX)
                               + " bits per second (K, M, G: 10^3, 10^6, 10^9)", v);
    } else if (n == "wait-seconds") {
        if (!ParseSeconds(v, WAIT_SECONDS_MAX, &options->waitSeconds))
            return BadValue(n, "a number of seconds above 0 and at most " + SecondsText(WAIT_SECONDS_MAX), v);
    } else {
        return ApplySize(option, options, seen);
    }
    return ParseOutcome::Run();
}

ParseOutcome CheckCombination(const WriterOptions& options, const Seen& seen)
{
    if (options.source == SourceKind::NONE)
        return ParseOutcome::Error("say what to send: --file FILE, --stdin or --bytes N");
    if (seen.randomMin != seen.randomMax)
        return ParseOutcome::Error("--random-min and --random-max go together");
    if (seen.randomMin && seen.writeSize)
        return ParseOutcome::Error("--write-size and --random-min/--random-max exclude each other");
    if (options.randomMin > options.randomMax)
        return ParseOutcome::Error("--random-min is larger than --random-max");
    return ParseOutcome::Run();
}

} // namespace

ParseOutcome ParseWriterOptions(const std::vector<std::string>& args, WriterOptions* options)
{
    const ScanResult scan = ScanArguments(args, WRITER_OPTIONS);
    if (!scan.error.empty())
        return ParseOutcome::Error(scan.error);
    WriterOptions parsed;
    Seen seen;
    for (const ScannedOption& option : scan.options) {
        if (option.name == "help")
            return ParseOutcome::Help();
        const ParseOutcome outcome = ApplyOption(option, &parsed, &seen);
        if (outcome.kind != ParseOutcome::RUN)
            return outcome;
    }
    const ParseOutcome combined = CheckCombination(parsed, seen);
    if (combined.kind == ParseOutcome::RUN)
        *options = parsed;
    return combined;
}

std::string WriterHelpText()
{
    return std::string()
 +        "usage: zelmoor_writer [options] (--file FILE | --file - | --stdin | --bytes N)\n"
        "Connects to a channel's pipe \\\\.\\pipe\\ZelmoorNN and writes a stream into it.\n"
        "\n"
        "  --channel N         channel 0 to 9 (default 0)\n"
        "  --file FILE         send the contents of FILE; '-' is standard input\n"
        "  --stdin             send standard input until it ends (the same as --file -)\n"
        "  --bytes N           send N bytes of generated 188-byte packets: sync byte 0x47,\n"
        "                      the PID, a continuity counter, payload from the seed;\n"
        "                      the last packet is cut at N, at most " + ByteCountText(BYTES_MAX) + "\n"
        "                      (K, M, G: KiB, MiB, GiB)\n"
        "  --seed S            payload seed of the generated stream (default 1)\n"
        "  --pid P             PID of the generated packets, 0 to 8191 (default 256)\n"
        "  --rate BITS         send at BITS bits per second, 1 to " + BitRateText(RATE_MAX) + " (K, M, G: 10^3,\n"
        "                      10^6, 10^9; default: as fast as possible)\n"
        "  --write-size N      bytes per write, 1 to " + ByteCountText(WRITE_SIZE_MAX) + " (default 1316, seven packets)\n"
        "  --random-min N      with --random-max: sizes drawn evenly from [min, max],\n"
        "  --random-max N      the same sequence for the same seed\n"
        "  --wait-seconds S    wait this long for the pipe to appear or be free, above 0\n"
        "                      and at most " + SecondsText(WAIT_SECONDS_MAX) + " (default 10); a line says it is waiting\n"
        "  -h, --help          show this text\n"
        "A progress line is shown on a terminal; the summary ends with a line\n"
        "\"digest fnv1a64=<hex> bytes=<count>\" over what was written.\n"
        "A write returns once the pipe holds its bytes, not once the host has them.\n"
        "When the host leaves mid-stream (exit 6) the writer says how many bytes the\n"
        "pipe accepted, how many of them its reader had certainly taken, and how many\n"
        "may not have reached the host; bytes the driver had taken but the host not\n"
        "yet are lost as well, and no writer can see those.\n"
        "\n"
        "exit codes: 0 done, 2 usage error, 3 pipe missing, 4 pipe busy,\n"
        "            5 connect failed, 6 cut off while writing, 7 input failed\n";
}
