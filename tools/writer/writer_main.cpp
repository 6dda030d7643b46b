// zelmoor_writer: connects to a channel's pipe and writes a stream into it.
#include <cstdio>
#include <memory>

#include "numbers.h"
#include "pipe_connect.h"
#include "send_loop.h"
#include "wide.h"
#include "writer_options.h"

namespace {

int Fail(WriterExitCode code, const std::string& why)
{
    std::fprintf(stderr, "zelmoor_writer: %s\n", why.c_str());
    return code;
}

std::unique_ptr<ByteSource> OpenSource(const WriterOptions& options, std::string* error)
{
    switch (options.source) {
    case SourceKind::FILE:  return OpenFileSource(options.filePath, error);
    case SourceKind::STDIN: return OpenStdinSource();
    default:
        return std::unique_ptr<ByteSource>(new GeneratedSource(options.bytes, options.seed, options.pid));
    }
}

WriteSizes SizesFor(const WriterOptions& options)
{
    return options.randomMax != 0 ? WriteSizes::Random(options.randomMin, options.randomMax, options.seed)
                                  : WriteSizes::Fixed(options.writeSize);
}

void SayWaiting(const std::wstring& name, double waitSeconds, bool busy)
{
    std::printf("writer: waiting up to %s s for %s %s\n", SecondsText(waitSeconds).c_str(), Narrow(name).c_str(),
                busy ? "to be free (another writer holds it)" : "to appear (is a host on that channel?)");
    std::fflush(stdout);
}

int Run(const WriterOptions& options)
{
    std::string error;
    std::unique_ptr<ByteSource> source = OpenSource(options, &error);
    if (!source)
        return Fail(WRITER_EXIT_INPUT_FAILED, error);
    const std::wstring name = PipeNameForChannel(options.channel);
    PipeConnection connection = ConnectToPipe(name, options.waitSeconds,
                                              [&](bool busy) { SayWaiting(name, options.waitSeconds, busy); });
    if (connection.code != WRITER_EXIT_OK)
        return Fail(connection.code, connection.error);
    std::printf("writer: connected to %s\n", Narrow(name).c_str());
    std::fflush(stdout);

    StreamDigest digest;
    SendStats stats;
    PipeDelivery delivery(connection.hPipe);
    const SendResult result = SendAll(connection.hPipe, source.get(), SizesFor(options),
                                      Pacer(options.rateBitsPerSecond), &digest, &stats, &delivery);
    CloseHandle(connection.hPipe);
    std::printf("%s", FormatWriterSummary(stats, result.seconds).c_str());
    if (result.code == WRITER_EXIT_CUT_OFF)
        std::printf("writer: cut off: %s\n", FormatDeliveryLine(delivery).c_str());
    std::printf("%s\n", FormatDigestLine(digest).c_str());
    return result.code == WRITER_EXIT_OK ? WRITER_EXIT_OK : Fail(result.code, result.error);
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    WriterOptions options;
    const ParseOutcome outcome = ParseWriterOptions(NarrowArguments(argc, argv), &options);
    if (outcome.kind == ParseOutcome::HELP) {
        std::fputs(WriterHelpText().c_str(), stdout);
        return WRITER_EXIT_OK;
    }
    if (outcome.kind == ParseOutcome::USAGE_ERROR) {
        std::fprintf(stderr, "zelmoor_writer: %s (try --help)\n", outcome.message.c_str());
        return WRITER_EXIT_USAGE;
    }
    return Run(options);
}
