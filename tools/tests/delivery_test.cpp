#include <gtest/gtest.h>

#include "pipe_delivery.h"

#include <vector>

namespace {

const uint32_t QUOTA = 48128;

TEST(PipeDelivery, OnlyWhatLeftThePipesBufferCountsAsTaken)
{
    EXPECT_EQ(1000u, PipeDelivery::Unread(1000000, true, QUOTA, QUOTA - 1000));
    EXPECT_EQ(0u, PipeDelivery::Unread(1000000, true, QUOTA, QUOTA)) << "an empty buffer: all taken";
    EXPECT_EQ(500u, PipeDelivery::Unread(500, true, QUOTA, 0)) << "never more unread than was written";
}

TEST(PipeDelivery, AnAnswerThatSaysNothingLeavesTheWholeBufferUnconfirmed)
{
    // Wine answers 0 room whatever the buffer holds; a full buffer is the safe reading.
    EXPECT_EQ(QUOTA, PipeDelivery::Unread(1000000, true, QUOTA, 0));
    EXPECT_EQ(1000000u, PipeDelivery::Unread(1000000, false, 0, 0)) << "no answer: nothing confirmed";
    EXPECT_EQ(1000000u, PipeDelivery::Unread(1000000, true, 0, 0)) << "no quota: nothing confirmed";
    EXPECT_EQ(1000000u, PipeDelivery::Unread(1000000, true, QUOTA, QUOTA + 1)) << "more room than quota";
}

TEST(PipeDelivery, AHandleThatIsNoPipeConfirmsNothing)
{
    HANDLE event = CreateEventW(NULL, TRUE, FALSE, NULL);
    PipeDelivery delivery(event);
    delivery.OnWritten(4096);
    delivery.OnWritten(100);
    CloseHandle(event);
    EXPECT_EQ(4196u, delivery.Accepted());
    EXPECT_EQ(0u, delivery.Confirmed());
    EXPECT_EQ(4196u, delivery.Unconfirmed());
    const std::string line = FormatDeliveryLine(delivery);
    EXPECT_NE(std::string::npos, line.find("accepted 4196 bytes")) << line;
    EXPECT_NE(std::string::npos, line.find("the last 4196 may not have reached the host")) << line;
}

// A pipe of this process's own, so that no other test meets it.
TEST(PipeDelivery, NeverConfirmsMoreThanTheReaderTook)
{
    const wchar_t name[] = L"\\\\.\\pipe\\zelmoor-delivery-test";
    HANDLE server = CreateNamedPipeW(name, PIPE_ACCESS_INBOUND, 0, 1, QUOTA, QUOTA, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, server);
    HANDLE client = CreateFileW(name, GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, client);
    std::vector<uint8_t> bytes(QUOTA);
    DWORD done = 0;
    PipeDelivery delivery(client);
    const uint32_t first = 10000;
    ASSERT_TRUE(WriteFile(client, bytes.data(), first, &done, NULL));
    delivery.OnWritten(done);
    EXPECT_EQ(0u, delivery.Confirmed()) << "nothing was read yet";
    const uint32_t taken = 6000;
    ASSERT_TRUE(ReadFile(server, bytes.data(), taken, &done, NULL));
    ASSERT_TRUE(WriteFile(client, bytes.data(), 100, &done, NULL));
    delivery.OnWritten(done);
    EXPECT_LE(delivery.Confirmed(), taken);
    EXPECT_EQ(first + 100u, delivery.Accepted());
    // The pipe's own count of what its reader has yet to take: none of it may count as delivered.
    DWORD unread = 0;
    ASSERT_TRUE(PeekNamedPipe(server, NULL, 0, NULL, &unread, NULL));
    EXPECT_EQ(first + 100u - taken, unread);
    EXPECT_GE(delivery.Unconfirmed(), unread);
    CloseHandle(client);
    CloseHandle(server);
}

} // namespace
