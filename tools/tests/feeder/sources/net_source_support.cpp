#include "net_source_support.h"

#include <winsock2.h>

#include <cstring>

#include "ts_packet.h"

std::vector<uint8_t> NumberedPackets(uint32_t first, size_t count)
{
    std::vector<uint8_t> data(count * TS_PACKET_BYTES, 0xFF);
    for (size_t i = 0; i < count; ++i) {
        uint8_t* p = &data[i * TS_PACKET_BYTES];
        p[0] = TS_SYNC_BYTE;
        p[1] = 0x01;
        p[2] = 0x00;
        p[3] = static_cast<uint8_t>(0x10 | (i & 0x0F));
        const uint32_t number = first + static_cast<uint32_t>(i);
        memcpy(p + 4, &number, sizeof number);
    }
    return data;
}

uint32_t PacketNumber(const uint8_t* packet)
{
    uint32_t number = 0;
    memcpy(&number, packet + 4, sizeof number);
    return number;
}

std::unique_ptr<Source> MakeSource(const std::string& text, const UdpLimits& limits)
{
    std::string why;
    std::unique_ptr<SourceConfig> config = ParseUdpSourceWith(text, limits, &why);
    EXPECT_TRUE(config) << text << ": " << why;
    return config ? config->Create() : nullptr;
}

uint16_t FreeUdpPort()
{
    SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
    int length = sizeof address;
    getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    closesocket(s);
    return ntohs(address.sin_port);
}

std::vector<uint8_t> ReadBytes(Source* source, size_t bytes)
{
    std::vector<uint8_t> got;
    std::vector<uint8_t> buffer(64 * 1024);
    const ULONGLONG deadline = GetTickCount64() + DEADLINE_MS;
    while (got.size() < bytes && GetTickCount64() < deadline) {
        const ReadResult r = source->Read(buffer.data(), buffer.size(), READ_WAIT_MS);
        if (r.status == ReadStatus::FAILED)
            break;
        got.insert(got.end(), buffer.begin(), buffer.begin() + static_cast<ptrdiff_t>(r.bytes));
    }
    return got;
}

std::string ReadUntilFailed(Source* source)
{
    std::vector<uint8_t> buffer(64 * 1024);
    const ULONGLONG deadline = GetTickCount64() + DEADLINE_MS;
    while (GetTickCount64() < deadline)
        if (source->Read(buffer.data(), buffer.size(), READ_WAIT_MS).status == ReadStatus::FAILED)
            return source->Error();
    return "";
}
