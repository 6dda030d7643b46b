// What the network sources' tests share: numbered packets, a free loopback
// port, a fixture that starts Winsock, and reading a source until it gives or fails.
#pragma once
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "source.h"
#include "udp_source.h"
#include "winsock_use.h"

const DWORD READ_WAIT_MS = 50;
const ULONGLONG DEADLINE_MS = 10 * 1000;

// Packets numbered in their payload, so that order and wholeness can be checked.
std::vector<uint8_t> NumberedPackets(uint32_t first, size_t count);
uint32_t PacketNumber(const uint8_t* packet);

// A udp: source of the text; null, and the test failed, when the text is refused.
std::unique_ptr<Source> MakeSource(const std::string& text, const UdpLimits& limits = UdpLimits());

// A free loopback port for this test, found by binding to port 0.
uint16_t FreeUdpPort();

// Reads until `bytes` bytes came, the source failed or the deadline passed.
std::vector<uint8_t> ReadBytes(Source* source, size_t bytes);

// Reads until the source fails; its message, or "" at the deadline.
std::string ReadUntilFailed(Source* source);

class NetSourceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string why;
        ASSERT_TRUE(StartWinsock(&why)) << why;
    }
};
