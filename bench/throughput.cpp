#include "throughput.h"
#include "bench_config.h"
#include "host_drain.h"
#include "raw_pipe.h"
#include "timed_writer.h"

StreamFigures StreamThroughDriver(IBonDriver2* tuner, const WriteSizes& sizes, double seconds, BlockLog& log)
{
    StreamFigures result = {false, 0.0, 0.0, {}};
    log.Clear();
    if (!tuner->SelectChannel(0, BENCH_CHANNEL))
        return result;
    TimedWriter writer({PipeName(BENCH_CHANNEL), sizes, seconds, 0.0});
    writer.Start();
    const DrainFigures drain = DrainUntil(tuner, [&](uint64_t bytes) {
        return writer.Finished() && bytes >= writer.BytesWritten();
    }, &log);
    const WriterFigures written = writer.Join();
    tuner->CloseTuner();
    result.ok = drain.ok && written.ok && drain.bytes == written.bytes;
    result.bytesPerSecond = SteadyBytesPerSecond(drain.bytes, drain.firstBlockBytes, drain.firstBlockAt,
                                                 drain.lastBlockAt);
    result.longestWriteMs = written.longestWriteMs;
    result.phase = PopAfterPush(written.unblockedAt, log);
    return result;
}

StreamFigures StreamThroughRawPipe(const WriteSizes& sizes, double seconds)
{
    StreamFigures result = {false, 0.0, 0.0, {}};
    HANDLE pipe = CreateRawPipe();
    if (pipe == INVALID_HANDLE_VALUE)
        return result;
    TimedWriter writer({RawPipeName(), sizes, seconds, 0.0});
    writer.Start();
    const RawFigures read = ReadRawPipe(pipe);
    const WriterFigures written = writer.Join();
    result.ok = read.ok && written.ok && read.bytes == written.bytes;
    result.bytesPerSecond = SteadyBytesPerSecond(read.bytes, read.firstReadBytes, read.firstReadAt, read.lastReadAt);
    result.longestWriteMs = written.longestWriteMs;
    return result;
}
