// zelmoor_host: loads a tuner DLL, selects a channel and drains its stream.
#include <cstdio>

#include "drain.h"
#include "interrupt.h"
#include "tuner_session.h"
#include "wide.h"

namespace {

int Fail(HostExitCode code, const std::string& why)
{
    std::fprintf(stderr, "zelmoor_host: %s\n", why.c_str());
    return code;
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
    std::printf("host: channel %u selected, draining with %s\n", options.channel,
                options.copy ? "CopyStream" : "TakeStream");
    std::fflush(stdout);

    StreamDigest digest;
    DrainStats stats;
    const DrainResult result = Drain(session.Tuner(), options, &sink, &digest, &stats);
    session.Close();
    sink.Close();
    std::printf("%s%s\n", FormatHostSummary(stats, result.seconds, result.reason).c_str(),
                FormatDigestLine(digest).c_str());
    return result.code == HOST_EXIT_OK ? HOST_EXIT_OK : Fail(result.code, result.error);
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    HostOptions options;
    const ParseOutcome outcome = ParseHostOptions(NarrowArguments(argc, argv), &options);
    if (outcome.kind == ParseOutcome::HELP) {
        std::fputs(HostHelpText(), stdout);
        return HOST_EXIT_OK;
    }
    if (outcome.kind == ParseOutcome::USAGE_ERROR) {
        std::fprintf(stderr, "zelmoor_host: %s (try --help)\n", outcome.message.c_str());
        return HOST_EXIT_USAGE;
    }
    InstallInterruptHandler();
    return Run(options);
}
