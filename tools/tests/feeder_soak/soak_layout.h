// What the feeder soak serves on each channel, and who holds which channel.
// Shared by the soak, its hosts and its cmd: program; plain C++.
#pragma once
#include <cstdint>

enum class SoakSourceKind { FILE_LOOP, REPLACED_FILE, UDP, RTP, TCP, HTTP, CMD };

struct SoakChannel {
    uint32_t        channel;
    SoakSourceKind  kind;
};

// Every kind at least once; each host owns two neighbours (2i, 2i+1).
constexpr SoakChannel SOAK_CHANNELS[] = {
    {0, SoakSourceKind::FILE_LOOP},     {1, SoakSourceKind::UDP},
    {2, SoakSourceKind::FILE_LOOP},     {3, SoakSourceKind::RTP},
    {4, SoakSourceKind::REPLACED_FILE}, {5, SoakSourceKind::TCP},
    {6, SoakSourceKind::HTTP},          {7, SoakSourceKind::CMD},
    {8, SoakSourceKind::FILE_LOOP},     {9, SoakSourceKind::CMD},
};
constexpr uint32_t SOAK_CHANNEL_COUNT = 10;
constexpr uint32_t SOAK_HOSTS = 5;
constexpr uint32_t CHANNELS_PER_HOST = 2;

// Every clip is muxed at this constant rate (null packets fill it up), so a
// channel's rate can be checked against one figure.
constexpr double SOAK_CLIP_BITS_PER_SECOND = 2500000.0;

// Channel N's clip carries its elementary streams from PID 0x100 * (N + 1); the
// tables every clip shares (PAT, SDT, PMT, null) belong to no channel.
constexpr uint16_t SoakPidBase(uint32_t channel) { return static_cast<uint16_t>(0x100 * (channel + 1)); }
constexpr uint16_t SOAK_PID_SPAN = 0x100;
constexpr uint16_t SHARED_PIDS[] = {0x0000, 0x0011, 0x1000, 0x1FFF};

inline bool IsFileKind(SoakSourceKind kind)
{
    return kind == SoakSourceKind::FILE_LOOP || kind == SoakSourceKind::REPLACED_FILE;
}

inline SoakSourceKind KindOf(uint32_t channel) { return SOAK_CHANNELS[channel].kind; }
inline uint32_t HostOf(uint32_t channel) { return channel / CHANNELS_PER_HOST; }
