// Bytes from a real writer through the shipped driver to the host.
#include <gtest/gtest.h>
#include <cstdio>
#include <vector>
#include "block_sink.h"
#include "iat_patch.h"
#include "pipe_writer.h"
#include "tuner_fixture.h"
#include "wait_until.h"

namespace {

constexpr uint64_t MiB = 1 << 20;
constexpr DWORD MAX_WRITE = 64 * 1024;
constexpr DWORD MAX_READS_IN_FLIGHT = 16;
constexpr DWORD HIGH_WATER = 70;
constexpr DWORD MOST_READY = 85;
constexpr DWORD SHORT_WRITE = 1000;
constexpr DWORD STEADY_MS = 500;
constexpr uint64_t DEPARTURES_MOST = 3;
constexpr DWORD DEPARTURE_SHOWS_MS = 2000;    // far beyond the 10 ms the pop worker takes
constexpr DWORD FILL_LIMIT_MS = 10000;

class Streaming : public OpenChannelTest {};

::testing::AssertionResult Carries(IBonDriver2* tuner, uint64_t bytes, DWORD minWrite, DWORD maxWrite,
                                   BlockSink::Take how, BlockSink::Drain drain)
{
    StreamWriter writer(OpenChannelTest::CHANNEL, 7, bytes, minWrite, maxWrite);
    BlockSink sink(tuner, 7, how, drain);
    const ULONGLONG start = GetTickCount64();
    writer.Start();
    const bool received = sink.ReceiveBytes(bytes);
    writer.Join();
    const double seconds = (GetTickCount64() - start) / 1000.0;
    std::printf("  %.1f MiB in %.2f s: %.1f MB/s, %llu blocks, largest %lu bytes\n", bytes / double(MiB), seconds,
                bytes / 1e6 / (seconds > 0 ? seconds : 1), static_cast<unsigned long long>(sink.Blocks()),
                static_cast<unsigned long>(sink.LargestBlock()));
    if (!received)
        return ::testing::AssertionFailure() << sink.Fault();
    if (!writer.Succeeded())
        return ::testing::AssertionFailure() << "the writer failed after " << writer.BytesWritten() << " bytes";
    if (sink.LargestBlock() > BLOCK_BYTES)
        return ::testing::AssertionFailure() << "a block of " << sink.LargestBlock() << " bytes";
    return ::testing::AssertionSuccess();
}

// Holds `value` unchanged for the whole period.
bool StaysAt(const std::function<uint64_t()>& value, DWORD periodMs)
{
    const uint64_t first = value();
    return !WaitUntil([&] { return value() != first; }, periodMs);
}

// Woken only by the driver's signal, as hosts are: a block collected without one stalls it.
TEST_F(Streaming, RandomWritesArriveInOrderByteForByteThroughTakeOnEachWakeUp)
{
    EXPECT_TRUE(Carries(tuner, 48 * MiB, 1, MAX_WRITE, BlockSink::Take::Pointer, BlockSink::Drain::Waiting));
}

TEST_F(Streaming, RandomWritesArriveInOrderByteForByteThroughCopy)
{
    EXPECT_TRUE(Carries(tuner, 16 * MiB, 1, MAX_WRITE, BlockSink::Take::Copy, BlockSink::Drain::Polling));
}

TEST_F(Streaming, HostThatTakesNothingStopsReadingAndBlocksTheWriterThenGetsEveryByte)
{
    const uint64_t total = 8 * MiB;
    StreamWriter writer(CHANNEL, 3, total, MAX_WRITE, MAX_WRITE);
    writer.Start();
    ASSERT_TRUE(WaitUntil([&] { return tuner->QueryReadyCount() >= HIGH_WATER; }, FILL_LIMIT_MS))
        << "ready count only reached " << tuner->QueryReadyCount();
    // Reads in flight at the high water still complete, slowly on a loaded machine; then
    // the writer must stay blocked.
    EXPECT_TRUE(WaitUntil([&] { return StaysAt([&] { return writer.BytesWritten(); }, STEADY_MS); },
                          FILL_LIMIT_MS))
        << "the writer should be blocked";
    EXPECT_LT(writer.BytesWritten(), total);
    const DWORD settled = tuner->QueryReadyCount();
    EXPECT_GE(settled, HIGH_WATER);
    EXPECT_LE(settled, MOST_READY);
    BlockSink sink(tuner, 3);
    EXPECT_TRUE(sink.ReceiveBytes(total)) << sink.Fault();
    writer.Join();
    EXPECT_TRUE(writer.Succeeded());
}

// Reads are in flight only while the driver waits for data: a writer that leaves
// then yields one empty block per read. One that leaves with data still buffered,
// or just as the last reads finished and before new ones were started, may yield
// none, since the reads that follow fail at once. So a few writers leave in turn,
// and their departures must show.
TEST_F(Streaming, WriterThatLeavesIsFollowedByEmptyBlocksThenTheNextWriter)
{
    BlockSink sink(tuner, 11);
    uint64_t departures = 0;
    for (uint64_t seed = 11; seed < 11 + DEPARTURES_MOST && sink.EmptyBlocks() == 0; ++seed) {
        SCOPED_TRACE(seed);
        sink.ExpectNewWriter(seed);
        {
            PipeWriter writer;
            ASSERT_TRUE(writer.Connect(CHANNEL));
            Pattern pattern(seed);
            std::vector<BYTE> chunk(MAX_WRITE);
            for (uint64_t sent = 0; sent < 2 * MiB; sent += chunk.size()) {
                pattern.Fill(chunk.data(), chunk.size());
                ASSERT_TRUE(writer.Write(chunk.data(), static_cast<DWORD>(chunk.size())));
            }
            ASSERT_TRUE(sink.ReceiveBytes((seed - 10) * 2 * MiB)) << sink.Fault();
        }
        ++departures;
        WaitUntil([&] { return !sink.DrainReady() || sink.EmptyBlocks() > 0; }, DEPARTURE_SHOWS_MS);
        ASSERT_TRUE(sink.Fault().empty()) << sink.Fault();
    }
    EXPECT_GT(sink.EmptyBlocks(), 0u) << "no empty block after " << departures
                                      << " writers left while reads waited";
    EXPECT_LE(sink.EmptyBlocks(), MAX_READS_IN_FLIGHT);
    const uint64_t before = sink.Bytes();
    sink.ExpectNewWriter(99);
    StreamWriter next(CHANNEL, 99, 2 * MiB, 1, MAX_WRITE);
    next.Start();
    EXPECT_TRUE(sink.ReceiveBytes(before + 2 * MiB)) << sink.Fault();
    next.Join();
    EXPECT_TRUE(next.Succeeded());
}

TEST_F(Streaming, WriterThatSendsALittleAndLeavesAtOnceLosesNothing)
{
    for (uint64_t round = 0; round < 5; ++round) {
        SCOPED_TRACE(round);
        BlockSink sink(tuner, 20 + round);
        StreamWriter writer(CHANNEL, 20 + round, SHORT_WRITE, SHORT_WRITE, SHORT_WRITE);
        writer.Start();
        writer.Join();
        ASSERT_TRUE(writer.Succeeded());
        EXPECT_TRUE(sink.ReceiveBytes(SHORT_WRITE)) << sink.Fault();
    }
}

TEST_F(Streaming, RefusedSelectionsKeepTheChannelAndItsWriter)
{
    PipeWriter writer;
    ASSERT_TRUE(writer.Connect(CHANNEL));
    EXPECT_FALSE(tuner->SetChannelCode(12));
    EXPECT_FALSE(tuner->SetChannelCode(23));
    EXPECT_FALSE(tuner->SelectChannel(0, 10));
    EXPECT_FALSE(tuner->SelectChannel(1, CHANNEL));
    BYTE data[SHORT_WRITE];
    Pattern(5).Fill(data, sizeof(data));
    ASSERT_TRUE(writer.Write(data, sizeof(data))) << "the writer must still be connected";
    BlockSink sink(tuner, 5);
    EXPECT_TRUE(sink.ReceiveBytes(sizeof(data))) << sink.Fault();
}

TEST_F(Streaming, ReselectingTheSameChannelDropsTheWriter)
{
    PipeWriter writer;
    ASSERT_TRUE(writer.Connect(CHANNEL));
    ASSERT_TRUE(tuner->SelectChannel(0, CHANNEL));
    BYTE byte = 0;
    EXPECT_FALSE(writer.Write(&byte, 1)) << "the old connection must be gone";
    StreamWriter next(CHANNEL, 9, MiB, 1, MAX_WRITE);
    BlockSink sink(tuner, 9);
    next.Start();
    EXPECT_TRUE(sink.ReceiveBytes(MiB)) << sink.Fault();
    next.Join();
}

// The driver's first ConnectNamedPipe waits for the test's cue, so a writer can
// be there (or come and go) before the driver listens.
struct ConnectCue {
    static HANDLE go;
    static decltype(&ConnectNamedPipe) real;
    static DWORD firstError;
    static BOOL WINAPI Connect(HANDLE pipe, LPOVERLAPPED overlapped)
    {
        WaitForSingleObject(go, STATE_TIMEOUT_MS);
        const BOOL result = real(pipe, overlapped);
        const DWORD error = GetLastError();
        InterlockedCompareExchange(reinterpret_cast<volatile LONG*>(&firstError), static_cast<LONG>(error), 0);
        SetLastError(error);
        return result;
    }
};
HANDLE ConnectCue::go = NULL;
decltype(&ConnectNamedPipe) ConnectCue::real = nullptr;
DWORD ConnectCue::firstError = 0;

class EarlyWriter : public OpenChannelTest {
protected:
    bool SelectsInSetUp() const override { return false; }
    void SetUp() override
    {
        OpenChannelTest::SetUp();
        ConnectCue::go = CreateEventW(NULL, TRUE, FALSE, NULL);
        ConnectCue::firstError = 0;
        patch.reset(new IatPatch(module.Handle(), "kernel32.dll", "ConnectNamedPipe",
                                 reinterpret_cast<void*>(&ConnectCue::Connect)));
        ASSERT_TRUE(patch->Applied());
        ConnectCue::real = reinterpret_cast<decltype(&ConnectNamedPipe)>(patch->Original());
        ASSERT_TRUE(tuner->SelectChannel(0, CHANNEL));
    }
    void TearDown() override
    {
        SetEvent(ConnectCue::go);
        tuner->CloseTuner();
        patch.reset();      // while the module is still mapped
        CloseHandle(ConnectCue::go);
        OpenChannelTest::TearDown();
    }
    std::unique_ptr<IatPatch> patch;
};

TEST_F(EarlyWriter, WriterConnectedBeforeTheDriverListensIsRead)
{
    PipeWriter writer;
    ASSERT_TRUE(writer.Connect(CHANNEL));
    SetEvent(ConnectCue::go);
    BYTE data[SHORT_WRITE];
    Pattern(31).Fill(data, sizeof(data));
    ASSERT_TRUE(writer.Write(data, sizeof(data)));
    BlockSink sink(tuner, 31);
    EXPECT_TRUE(sink.ReceiveBytes(sizeof(data))) << sink.Fault();
    EXPECT_EQ(ConnectCue::firstError, static_cast<DWORD>(ERROR_PIPE_CONNECTED));
}

TEST_F(EarlyWriter, WriterThatCameAndWentBeforeTheDriverListenedIsReadAndTheNextOneConnects)
{
    {
        PipeWriter writer;
        ASSERT_TRUE(writer.Connect(CHANNEL));
        BYTE data[SHORT_WRITE];
        Pattern(41).Fill(data, sizeof(data));
        ASSERT_TRUE(writer.Write(data, sizeof(data)));
    }
    SetEvent(ConnectCue::go);
    BlockSink sink(tuner, 41);
    EXPECT_TRUE(sink.ReceiveBytes(SHORT_WRITE)) << sink.Fault();
    EXPECT_EQ(ConnectCue::firstError, static_cast<DWORD>(ERROR_NO_DATA));
    sink.ExpectNewWriter(42);
    StreamWriter next(CHANNEL, 42, MiB, 1, MAX_WRITE);
    next.Start();
    EXPECT_TRUE(sink.ReceiveBytes(SHORT_WRITE + MiB)) << sink.Fault();
    next.Join();
    EXPECT_TRUE(next.Succeeded()) << "the next writer must be able to connect";
}

}  // namespace
