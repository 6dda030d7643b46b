// Unloading the module while the host still holds a tuner with an open channel
// and a connected writer. The unload runs under the loader lock, where no
// thread can finish exiting: both workers leave their loops, both waits time
// out, and both are ended by force.
#include <gtest/gtest.h>
#include <cstdio>
#include "block_sink.h"
#include "failure_fixture.h"
#include "pipe_writer.h"
#include "ring_watch.h"
#include "wait_until.h"

namespace {

constexpr DWORD CHANNEL = 1;
constexpr DWORD STOP_WAIT_MS = 1000;
constexpr DWORD WORKERS = 2;
constexpr DWORD EARLY_MS = 50;
constexpr DWORD LITTLE = 4096;
constexpr uint64_t ENDLESS = 1ull << 40;        // the unload ends the writer
constexpr uint64_t FLOWING_BYTES = 8ull << 20;
constexpr DWORD MAX_WRITE = 64 * 1024;
constexpr DWORD LATE_WRITE_WATCH_MS = 500;

class Unload : public FailureTest {};

TEST_F(Unload, WithAChannelOpenAndAWriterConnectedEndsBothWorkersByForceAndLeavesNothing)
{
    module.Release();
    // Made through the export directly, so DriverModule does not release it: the host forgot it.
    auto create = reinterpret_cast<CreateBonDriverProc>(
        reinterpret_cast<void*>(GetProcAddress(module.Handle(), CREATE_BON_DRIVER_EXPORT)));
    tuner = static_cast<IBonDriver2*>(create());
    ASSERT_TRUE(tuner->SelectChannel(0, CHANNEL));
    PipeWriter writer;
    ASSERT_TRUE(writer.Connect(CHANNEL));
    BYTE data[LITTLE];
    Pattern(2).Fill(data, sizeof(data));
    ASSERT_TRUE(writer.Write(data, sizeof(data)));
    BlockSink sink(tuner, 2);
    ASSERT_TRUE(sink.ReceiveBytes(sizeof(data))) << sink.Fault();

    const ULONGLONG start = GetTickCount64();
    module.Unload();
    const ULONGLONG took = GetTickCount64() - start;
    std::printf("  FreeLibrary took %llu ms\n", took);

    EXPECT_EQ(capture.Lines(), LinesOf({PUSH_FORCED_LINE, POP_FORCED_LINE}));
    EXPECT_GE(took, WORKERS * STOP_WAIT_MS - EARLY_MS);
    // A third whole wait is the fault (a forced end that never finished); less is the machine.
    EXPECT_LT(took, (WORKERS + 1) * STOP_WAIT_MS);
    EXPECT_FALSE(PipeExists(CHANNEL));
    EXPECT_FALSE(InUseMutexExists());
    EXPECT_FALSE(writer.Write(data, sizeof(data))) << "the writer is still connected";
    writer.Close();
    // The workers had done all their own clean-up before they were ended.
    EXPECT_TRUE(ComesBackTo(before));
}

// The host stops taking just before the unload; the writer goes on sending, so
// reads are in flight and finishing while the workers are stopped.
TEST_F(Unload, WhileAWriterSendsEndsBothWorkersByForceInBoundedTimeAndNoReadLandsLater)
{
    module.Release();
    auto create = reinterpret_cast<CreateBonDriverProc>(
        reinterpret_cast<void*>(GetProcAddress(module.Handle(), CREATE_BON_DRIVER_EXPORT)));
    tuner = static_cast<IBonDriver2*>(create());
    ASSERT_TRUE(tuner->SelectChannel(0, CHANNEL));
    StreamWriter writer(CHANNEL, 22, ENDLESS, 1, MAX_WRITE);
    writer.Start();
    BlockSink sink(tuner, 22);
    ASSERT_TRUE(sink.ReceiveAtLeast(FLOWING_BYTES)) << sink.Fault();
    RingWatch ring(module.Handle());
    ASSERT_TRUE(ring.Applied());

    const uint64_t writtenBefore = writer.BytesWritten();
    const ULONGLONG start = GetTickCount64();
    module.Unload();
    const ULONGLONG took = GetTickCount64() - start;
    ring.ModuleUnloaded();
    std::printf("  FreeLibrary with a writer sending took %llu ms; %llu bytes written meanwhile\n", took,
                static_cast<unsigned long long>(writer.BytesWritten() - writtenBefore));

    EXPECT_EQ(capture.Lines(), LinesOf({PUSH_FORCED_LINE, POP_FORCED_LINE}));
    EXPECT_GE(took, WORKERS * STOP_WAIT_MS - EARLY_MS);
    EXPECT_LT(took, (WORKERS + 1) * STOP_WAIT_MS);
    writer.Join();      // fails the test if the writer was left blocked
    EXPECT_FALSE(PipeExists(CHANNEL));
    EXPECT_FALSE(InUseMutexExists());
    ASSERT_TRUE(ring.RingFreed());
    EXPECT_FALSE(WaitUntil([&] { return !ring.Untouched(); }, LATE_WRITE_WATCH_MS))
        << "a read landed in the ring after it was freed";
    EXPECT_TRUE(ComesBackTo(before));
}

}  // namespace
