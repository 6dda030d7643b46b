// zelmoor_host: loads a tuner DLL, selects a channel and drains its stream.
#include <cstdio>

#include "drain.h"
#include "interrupt.h"
#include "numbers.h"
#include "tuner_session.h"
#include "wide.h"
#include "writer_probe.h"

namespace {

int Fail(HostExitCode code, const std::string& why)
{
    std::fprintf(stderr, "zelmoor_host: %s\n", why.c_str());
    return code;
}

// With the stream on standard output, the host's own lines go to standard error.
FILE* ReportStream(const HostOptions& options)
{
    return options.outPath == StreamSink::STANDARD_OUTPUT ? stderr : stdout;
}

// A run that saw no data tells whether anyone came; asked while the channel is still open.
DrainResult ExplainNoData(const HostOptions& options, DrainResult result)
{
    if (result.reason != StopReason::NOTHING_ARRIVED)
        return result;
    const std::string within = " within " + SecondsText(options.waitSeconds) + " s of selecting channel "
                             + std::to_string(options.channel);
    if (WriterHoldsPipe(options.channel)) {
        result.code = HOST_EXIT_NO_DATA;
        result.error = "a writer is connected but sent no data" + within;
    } else {
        result.code = HOST_EXIT_NO_WRITER;
        result.error = "no data: no writer came" + within + " (start the writer, or raise --wait-seconds)";
    }
    return result;
}

int Finish(StreamSink* sink, DrainResult result)
{
    if (result.code == HOST_EXIT_OK && !sink->Commit(&result.error))
        result.code = HOST_EXIT_OUTPUT_FAILED;
    if (result.code == HOST_EXIT_OK)
        return HOST_EXIT_OK;
    const std::string kept = sink->Abandon();
    return Fail(result.code, kept.empty() ? result.error : result.error + "; " + kept);
}

int Run(const HostOptions& options)
{
    std::string error;
    StreamSink sink;
    if (!sink.Open(options.outPath, &error))
        return Fail(HOST_EXIT_OUTPUT_FAILED, error);
    TunerSession session;
    const std::wstring dll = options.dllPath.empty() ? DefaultDriverPath() : Widen(options.dllPath);
    const HostExitCode opened = session.Open(dll, options.channel, &error);
    if (opened != HOST_EXIT_OK)
        return Fail(opened, error);
    FILE* report = ReportStream(options);
    std::fprintf(report, "host: channel %u selected, draining with %s\n", options.channel,
                 options.copy ? "CopyStream" : "TakeStream");
    std::fflush(report);

    StreamDigest digest;
    DrainStats stats;
    const DrainResult result = ExplainNoData(options, Drain(session.Tuner(), options, &sink, &digest, &stats));
    session.Close();
    std::fprintf(report, "%s%s\n", FormatHostSummary(stats, result.seconds, result.reason).c_str(),
                 FormatDigestLine(digest).c_str());
    std::fflush(report);
    return Finish(&sink, result);
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    HostOptions options;
    const ParseOutcome outcome = ParseHostOptions(NarrowArguments(argc, argv), &options);
    if (outcome.kind == ParseOutcome::HELP) {
        std::fputs(HostHelpText().c_str(), stdout);
        return HOST_EXIT_OK;
    }
    if (outcome.kind == ParseOutcome::USAGE_ERROR) {
        std::fprintf(stderr, "zelmoor_host: %s (try --help)\n", outcome.message.c_str());
        return HOST_EXIT_USAGE;
    }
    InstallInterruptHandler();
    return Run(options);
}
