// The queue between a network source's receiving thread and the channel's worker.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "net_source_support.h"
#include "stream_queue.h"
#include "ts_packet.h"

namespace {

TEST(StreamQueueTest, FullQueueDropsTheOldestWholePacketsAndKeepsTheLiveEdge)
{
    StreamQueue queue(5 * TS_PACKET_BYTES + 100, TS_PACKET_BYTES);
    const std::vector<uint8_t> first = NumberedPackets(0, 3);
    const std::vector<uint8_t> second = NumberedPackets(3, 4);
    const std::vector<uint8_t> flood = NumberedPackets(7, 8);
    EXPECT_EQ(queue.PushDroppingOldest(first.data(), first.size()), 0u);
    EXPECT_EQ(queue.PushDroppingOldest(second.data(), second.size()), 2u);
    std::vector<uint8_t> out(10 * TS_PACKET_BYTES);
    // A capacity that is no whole number of packets gets whole packets only.
    ASSERT_EQ(queue.Pop(out.data(), 2 * TS_PACKET_BYTES + 50, 0), 2 * TS_PACKET_BYTES);
    ASSERT_EQ(queue.Pop(out.data() + 2 * TS_PACKET_BYTES, out.size(), 0), 3 * TS_PACKET_BYTES);
    for (uint32_t i = 0; i < 5; ++i)
        EXPECT_EQ(PacketNumber(&out[i * TS_PACKET_BYTES]), i + 2);
    EXPECT_EQ(queue.Pop(out.data(), out.size(), 0), 0u);
    // More than the queue holds at once: only its newest part stays.
    EXPECT_EQ(queue.PushDroppingOldest(flood.data(), flood.size()), 3u);
    ASSERT_EQ(queue.Pop(out.data(), out.size(), 0), 5 * TS_PACKET_BYTES);
    EXPECT_EQ(PacketNumber(&out[0]), 10u);
    EXPECT_EQ(PacketNumber(&out[4 * TS_PACKET_BYTES]), 14u);
}

TEST(StreamQueueTest, BytesWrapAroundTheRingInOrder)
{
    StreamQueue queue(1000, 1);
    std::vector<uint8_t> in(700), out(700);
    for (int round = 0; round < 5; ++round) {
        for (size_t i = 0; i < in.size(); ++i)
            in[i] = static_cast<uint8_t>(round * 31 + i);
        ASSERT_TRUE(queue.PushWaiting(in.data(), in.size()));
        ASSERT_EQ(queue.Pop(out.data(), out.size(), 0), in.size());
        ASSERT_EQ(in, out) << "round " << round;
    }
}

TEST(StreamQueueTest, StopReleasesAWaitingPusher)
{
    StreamQueue queue(10, 1);
    const uint8_t data[20] = {};
    struct Args { StreamQueue* queue; const uint8_t* data; bool result; } args{&queue, data, true};
    HANDLE thread = CreateThread(NULL, 0, [](void* p) -> DWORD {
        Args* a = static_cast<Args*>(p);
        a->result = a->queue->PushWaiting(a->data, 20);
        return 0;
    }, &args, 0, NULL);
    ASSERT_NE(thread, nullptr);
    const ULONGLONG deadline = GetTickCount64() + DEADLINE_MS;
    while (queue.Size() < 10 && GetTickCount64() < deadline)
        SwitchToThread();
    queue.Stop();
    ASSERT_EQ(WaitForSingleObject(thread, DEADLINE_MS), WAIT_OBJECT_0) << "the pusher was not released";
    CloseHandle(thread);
    EXPECT_FALSE(args.result);
}

// The reader's last chunk and its Finish may come between a pop that timed out
// empty and the question whether the stream has ended; the chunk still comes first.
TEST(StreamQueueTest, AFinishRightAfterAnEmptyPopStillGivesEveryByteBeforeTheEnd)
{
    const size_t LAST_CHUNK_BYTES = 64 * 1024;
    const size_t POP_BYTES = LAST_CHUNK_BYTES / 3;   // the chunk takes several pops
    StreamQueue queue(4 * LAST_CHUNK_BYTES, 1);
    std::vector<uint8_t> chunk(LAST_CHUNK_BYTES), out(POP_BYTES);
    for (size_t i = 0; i < chunk.size(); ++i)
        chunk[i] = static_cast<uint8_t>(i * 7 + 1);
    ASSERT_EQ(queue.Pop(out.data(), out.size(), 0), 0u);
    ASSERT_TRUE(queue.PushWaiting(chunk.data(), chunk.size()));
    queue.Finish();
    std::vector<uint8_t> got;
    while (!queue.Drained()) {
        const size_t n = queue.Pop(out.data(), out.size(), 0);
        ASSERT_GT(n, 0u) << "not at the end, yet nothing to pop";
        got.insert(got.end(), out.begin(), out.begin() + static_cast<ptrdiff_t>(n));
    }
    EXPECT_EQ(got.size(), chunk.size()) << "the end came before the last chunk";
    EXPECT_TRUE(got == chunk);
}
} // namespace
