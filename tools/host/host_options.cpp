#include "host_options.h"

#include "arg_scanner.h"
#include "numbers.h"

namespace {

const uint64_t CHANNEL_MAX = 0xFFFFFFFEull;       // 0xFFFFFFFF is "no channel" to the driver
const uint64_t BYTES_MAX = 1ull << 50;
const double   SECONDS_MAX = 7 * 24 * 3600.0;

const std::vector<OptionRule> HOST_OPTIONS = {
    {"help", false}, {"dll", true}, {"channel", true}, {"copy", false},
    {"out", true}, {"bytes", true}, {"seconds", true}, {"until-gone", false}, {"wait-seconds", true},
};

ParseOutcome BadValue(const std::string& name, const std::string& wanted, const std::string& value)
{
    return ParseOutcome::Error("--" + name + " needs " + wanted + ", not '" + value + "'");
}

std::string SecondsRange()
{
    return "a number of seconds above 0 and at most " + SecondsText(SECONDS_MAX);
}

ParseOutcome ApplyOption(const ScannedOption& option, HostOptions* options)
{
    const std::string& n = option.name;
    const std::string& v = option.value;
    uint64_t number = 0;
    if (option.name == "dll") {
        if (v.empty())
            return ParseOutcome::Error("--dll needs a path");
        options->dllPath = v;
    } else if (option.name == "channel") {
        if (!ParseUnsigned(v, 0, CHANNEL_MAX, &number))
            return BadValue(n, "a channel number from 0 to " + std::to_string(CHANNEL_MAX), v);
        options->channel = static_cast<uint32_t>(number);
    } else if (option.name == "copy") {
        options->copy = true;
    } else if (option.name == "out") {
        if (v.empty())
            return ParseOutcome::Error("--out needs a file name");
        options->outPath = v;
    } else if (option.name == "bytes") {
        if (!ParseByteCount(v, 1, BYTES_MAX, &options->bytes))
            return BadValue(n, "a byte count from 1 to " + ByteCountText(BYTES_MAX) + " (K, M, G: KiB, MiB, GiB)", v);
    } else if (option.name == "seconds") {
        if (!ParseSeconds(v, SECONDS_MAX, &options->seconds))
            return BadValue(n, SecondsRange(), v);
    } else if (option.name == "until-gone") {
        options->untilGone = true;
    } else if (option.name == "wait-seconds") {
        if (!ParseSeconds(v, SECONDS_MAX, &options->waitSeconds))
            return BadValue(n, SecondsRange(), v);
    }
    return ParseOutcome::Run();
}

} // namespace

ParseOutcome ParseHostOptions(const std::vector<std::string>& args, HostOptions* options)
{
    const ScanResult scan = ScanArguments(args, HOST_OPTIONS);
    if (!scan.error.empty())
        return ParseOutcome::Error(scan.error);
    HostOptions parsed;
    bool waitGiven = false;
    for (const ScannedOption& option : scan.options) {
        if (option.name == "help")
            return ParseOutcome::Help();
        const ParseOutcome outcome = ApplyOption(option, &parsed);
        if (outcome.kind != ParseOutcome::RUN)
            return outcome;
        waitGiven = waitGiven || option.name == "wait-seconds";
    }
    if (waitGiven && !parsed.untilGone)
        return ParseOutcome::Error("--wait-seconds goes with --until-gone");
    *options = parsed;
    return ParseOutcome::Run();
}

std::string HostHelpText()
{
    const std::string seconds = SecondsText(SECONDS_MAX);
    return std::string()
 +        "usage: zelmoor_host [options]\n"
        "Loads a tuner driver, selects a channel and drains its stream.\n"
        "\n"
        "  --dll PATH       tuner DLL (default: " ZELMOOR_DRIVER_FILE " beside this program)\n"
        "  --channel N      channel to select in space 0 (default 0; Zelmoor offers 0 to 9)\n"
        "  --copy           take blocks with CopyStream instead of TakeStream\n"
        "  --out FILE       write the stream to FILE (default: discard); '-' is standard\n"
        "                   output, and the host's own lines then go to standard error.\n"
        "                   The stream goes to a new file beside FILE, which replaces\n"
        "                   FILE only when the run ends well (exit 0): a failed run\n"
        "                   leaves FILE as it was and names the new file if it holds data\n"
        "  --bytes N        stop after N bytes, cutting the last block; 1 to " + ByteCountText(BYTES_MAX) + "\n"
        "                   (K, M, G: KiB, MiB, GiB)\n"
        "  --seconds S      stop after S seconds, above 0 and at most " + seconds + " (decimals allowed)\n"
        "  --until-gone     stop once the writer has gone: an empty block has arrived\n"
        "                   and then no data for 1 s, or data had arrived and then\n"
        "                   none for 3 s (a departing writer shows up as one empty\n"
        "                   block per read in flight, which may be none); data from\n"
        "                   a new writer in that time keeps the host going\n"
        "  --wait-seconds S with --until-gone: give up when no data has arrived S s after\n"
        "                   the channel was selected (default " + SecondsText(HOST_WAIT_SECONDS_DEFAULT)
        + "; above 0, at most " + seconds + ")\n"
        "  -h, --help       show this text\n"
        "With several stop conditions the first one met ends the run; with none, the\n"
        "host runs until Ctrl+C. A progress line is shown on a terminal; the summary\n"
        "ends with a line \"digest fnv1a64=<hex> bytes=<count>\" over what was received.\n"
        "\n"
        "exit codes: 0 done, 2 usage error, 3 DLL not loaded, 4 no CreateBonDriver export,\n"
        "            5 CreateBonDriver returned null, 6 channel refused,\n"
        "            7 output file failed, 8 stream failed,\n"
        "            9 no writer came within --wait-seconds,\n"
        "            10 a writer came but sent no data within --wait-seconds\n";
}
