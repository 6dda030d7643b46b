// What an open channel costs in memory, and a check that streaming allocates nothing:
// the driver's own HeapAlloc calls, every heap's busy blocks, private bytes, handles.
#include <vector>
#include "bench_config.h"
#include "burst_writer.h"
#include "census.h"
#include "driver_calls.h"
#include "heap_census.h"
#include "host_drain.h"
#include "report.h"
#include "private_bytes.h"
#include "ring.h"
#include "sections.h"

namespace {

constexpr uint64_t WARM_UP_BYTES = 4 * 1024 * 1024;
// The push worker tops its reads up within a poll or two after the last block.
constexpr DWORD SETTLE_MS = 50;
constexpr int KIB_DECIMALS = 1;
constexpr int COUNT_DECIMALS = 0;

DWORD WINAPI IdleThread(LPVOID) { return 0; }

// What one thread with the default stack costs here: part of what a channel's two workers add.
double ThreadCostKiB()
{
    const SIZE_T before = CommittedPrivateBytes();
    HANDLE thread = CreateThread(NULL, 0, IdleThread, NULL, CREATE_SUSPENDED, NULL);
    if (thread == NULL)
        return 0.0;
    const SIZE_T after = CommittedPrivateBytes();
    ResumeThread(thread);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    return (static_cast<double>(after) - static_cast<double>(before)) / BYTES_PER_KIB;
}

struct MemoryRun {
    bool    ok;
    double  channelKiB;         // private bytes added by selecting the channel
    double  channelHeapKiB;     // busy heap bytes added by selecting it
    double  closedKiB;          // private bytes left after closing it again
    double  streamKiB;          // private bytes added while streaming
    double  heapBlocks;         // busy heap blocks added while streaming
    double  heapBytes;
    double  driverHeapAllocs;   // the driver's HeapAlloc calls while streaming
    double  driverEvents;       // the driver's CreateEventW calls while streaming
    double  blocks;             // blocks taken while streaming
    double  handles;            // handles added while streaming
};

double KiB(SIZE_T after, SIZE_T before)
{
    return (static_cast<double>(after) - static_cast<double>(before)) / BYTES_PER_KIB;
}

bool DrainBytes(IBonDriver2* tuner, uint64_t bytes, uint64_t& blocks)
{
    const DrainFigures drain = DrainUntil(tuner, [bytes](uint64_t got) { return got >= bytes; }, nullptr);
    blocks = drain.blocks;
    return drain.ok && drain.bytes == bytes;
}

// Streams `bytes` between two censuses, with the channel open and the writer connected.
bool MeasureStreaming(IBonDriver2* tuner, DriverCallCounter& calls, uint64_t bytes, MemoryRun& run)
{
    BurstWriter writer;
    uint64_t blocks = 0;
    if (!writer.Start(PipeName(BENCH_CHANNEL)))
        return false;
    writer.Send(WARM_UP_BYTES);
    bool ok = DrainBytes(tuner, WARM_UP_BYTES, blocks);
    Sleep(SETTLE_MS);
    const HeapCensus heap0 = TakeHeapCensus();
    const SIZE_T private0 = CommittedPrivateBytes();
    const long handles0 = CountOwnHandles();
    calls.Reset();
    writer.Send(bytes);
    ok = DrainBytes(tuner, bytes, blocks) && ok;
    Sleep(SETTLE_MS);
    const HeapCensus heap1 = TakeHeapCensus();
    run.streamKiB = KiB(CommittedPrivateBytes(), private0);
    run.handles = static_cast<double>(CountOwnHandles() - handles0);
    run.heapBlocks = static_cast<double>(heap1.busyBlocks) - static_cast<double>(heap0.busyBlocks);
    run.heapBytes = static_cast<double>(heap1.busyBytes) - static_cast<double>(heap0.busyBytes);
    run.driverHeapAllocs = calls.HeapAllocs();
    run.driverEvents = calls.EventsCreated();
    run.blocks = static_cast<double>(blocks);
    writer.Stop();
    return ok && writer.Ok() && heap0.ok && heap1.ok;
}

MemoryRun MeasureMemory(IBonDriver2* tuner, DriverCallCounter& calls, uint64_t streamBytes)
{
    MemoryRun run = {};
    const SIZE_T closed = CommittedPrivateBytes();
    const HeapCensus closedHeap = TakeHeapCensus();
    if (!tuner->SelectChannel(0, BENCH_CHANNEL))
        return run;
    run.channelKiB = KiB(CommittedPrivateBytes(), closed);
    run.channelHeapKiB = (static_cast<double>(TakeHeapCensus().busyBytes) - closedHeap.busyBytes) / BYTES_PER_KIB;
    run.ok = MeasureStreaming(tuner, calls, streamBytes, run);
    tuner->CloseTuner();
    run.closedKiB = KiB(CommittedPrivateBytes(), closed);
    return run;
}

struct MemoryFigures {
    std::vector<double> channel, channelHeap, closed, stream, heapBlocks, heapBytes, allocs, events, blocks, handles;
    void Add(const MemoryRun& r)
    {
        channel.push_back(r.channelKiB);
        channelHeap.push_back(r.channelHeapKiB);
        closed.push_back(r.closedKiB);
        stream.push_back(r.streamKiB);
        heapBlocks.push_back(r.heapBlocks);
        heapBytes.push_back(r.heapBytes);
        allocs.push_back(r.driverHeapAllocs);
        events.push_back(r.driverEvents);
        blocks.push_back(r.blocks);
        handles.push_back(r.handles);
    }
};

void PrintMemory(const MemoryFigures& f)
{
    const double ringBytes = static_cast<double>(RING_BLOCKS) * sizeof(PipeBlock);
    PrintNote("the ring itself: %lu blocks x %lu bytes = %.1f KiB", static_cast<unsigned long>(RING_BLOCKS),
              static_cast<unsigned long>(sizeof(PipeBlock)), ringBytes / BYTES_PER_KIB);
    PrintNote("one thread with the default stack: %.1f KiB of private memory here", ThreadCostKiB());
    PrintFigure("private bytes added by an open channel", SpreadOf(f.channel), "KiB", KIB_DECIMALS);
    PrintFigure("busy heap bytes added by an open channel", SpreadOf(f.channelHeap), "KiB", KIB_DECIMALS);
    PrintFigure("private bytes left after closing it", SpreadOf(f.closed), "KiB", KIB_DECIMALS);
    PrintFigure("private bytes added while streaming", SpreadOf(f.stream), "KiB", KIB_DECIMALS);
    PrintFigure("busy heap blocks added while streaming", SpreadOf(f.heapBlocks), "", COUNT_DECIMALS);
    PrintFigure("busy heap bytes added while streaming", SpreadOf(f.heapBytes), "bytes", COUNT_DECIMALS);
    PrintFigure("driver HeapAlloc calls while streaming", SpreadOf(f.allocs), "", COUNT_DECIMALS);
    PrintFigure("driver CreateEventW calls while streaming", SpreadOf(f.events), "", COUNT_DECIMALS);
    PrintFigure("blocks taken while streaming", SpreadOf(f.blocks), "", COUNT_DECIMALS);
    PrintFigure("handles added while streaming", SpreadOf(f.handles), "", COUNT_DECIMALS);
}

}  // namespace

void RunMemorySection(IBonDriver2* tuner, HMODULE driver, const BenchOptions& options)
{
    char title[128];
    snprintf(title, sizeof(title), "Memory: an open channel, and %lu MiB streamed in 96,256-byte writes",
             static_cast<unsigned long>(options.heapStreamMiB));
    PrintSection(title);
    DriverCallCounter calls(driver);
    if (!calls.Applied())
        PrintNote("(the driver's imports could not be patched: its call counts below mean nothing)");
    MemoryFigures figures;
    const uint64_t streamBytes = static_cast<uint64_t>(options.heapStreamMiB) * static_cast<uint64_t>(BYTES_PER_MIB);
    for (int i = 0; i < options.runs; ++i) {
        const MemoryRun run = MeasureMemory(tuner, calls, streamBytes);
        if (!run.ok)
            PrintNote("run %d FAILED: the stream did not arrive whole", i + 1);
        figures.Add(run);
    }
    PrintMemory(figures);
}
