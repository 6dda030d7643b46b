#include "send_loop.h"

#include <vector>

#include "clock.h"
#include "console.h"
#include "system_error.h"

namespace {

bool WriteWhole(HANDLE pipe, const uint8_t* data, size_t size, DWORD* error)
{
    while (size > 0) {
        DWORD written = 0;
        if (!WriteFile(pipe, data, static_cast<DWORD>(size), &written, NULL)) {
            *error = GetLastError();
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

SendResult CutOff(DWORD error, double seconds)
{
    SendResult result;
    result.code = WRITER_EXIT_CUT_OFF;
    result.seconds = seconds;
    result.error = "cut off: the pipe's reader went away (" + SystemErrorText(error) + ")";
    return result;
}

} // namespace

SendResult SendAll(HANDLE pipe, ByteSource* source, WriteSizes sizes, const Pacer& pacer,
                   StreamDigest* digest, SendStats* stats, PipeDelivery* delivery)
{
    std::vector<uint8_t> buffer(sizes.Largest());
    const Stopwatch clock;
    ProgressLine progress;
    DWORD error = 0;
    size_t size = 0;
    while ((size = source->Read(buffer.data(), sizes.Next())) > 0) {
        const uint32_t delay = pacer.DelayMs(stats->bytes, clock.Seconds());
        if (delay > 0)
            Sleep(delay);
        if (!WriteWhole(pipe, buffer.data(), size, &error)) {
            progress.Finish();
            return CutOff(error, clock.Seconds());
        }
        delivery->OnWritten(size);
        digest->Update(buffer.data(), size);
        stats->bytes += size;
        stats->writes += 1;
        progress.Show(clock.Seconds(), FormatWriterProgress(*stats, clock.Seconds()));
    }
    // Windows returns once the reader has taken every byte; Wine may return sooner.
    const bool flushed = FlushFileBuffers(pipe) != FALSE;
    error = GetLastError();
    progress.Show(clock.Seconds(), FormatWriterProgress(*stats, clock.Seconds()), true);
    progress.Finish();
    if (!flushed)
        return CutOff(error, clock.Seconds());
    SendResult result;
    result.seconds = clock.Seconds();
    if (!source->Error().empty()) {
        result.code = WRITER_EXIT_INPUT_FAILED;
        result.error = source->Error();
    }
    return result;
}
