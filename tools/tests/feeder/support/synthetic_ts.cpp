#include "synthetic_ts.h"

#include <windows.h>

#include <fstream>

namespace {

const size_t   PACKET = 188;
const uint8_t  SYNC = 0x47;
const uint8_t  PAYLOAD_ONLY = 0x10;
const uint8_t  ADAPTATION_AND_PAYLOAD = 0x30;
const uint8_t  PCR_ADAPTATION_LENGTH = 7;
const uint8_t  PCR_FLAG = 0x10;
const uint8_t  PCR_RESERVED_BITS = 0x7E;
const uint64_t PCR_BASE_MULTIPLIER = 300;
const uint8_t  FILLER = 0xFF;
const size_t   COUNTER_MASK = 0x0F;
const double   PART_PCR_INTERVAL_SECONDS = 0.04;
const double   BITS_PER_PACKET = PACKET * 8.0;
const double   TICKS_PER_SECOND = 27e6;

} // namespace

std::vector<uint8_t> InterleavedPackets(const std::vector<uint16_t>& pids, size_t count)
{
    std::vector<uint8_t> bytes(count * PACKET, FILLER);
    for (size_t i = 0; i < count; ++i) {
        uint8_t* p = &bytes[i * PACKET];
        const uint16_t pid = pids[i % pids.size()];
        const size_t counter = i / pids.size();
        p[0] = SYNC;
        p[1] = static_cast<uint8_t>(pid >> 8);
        p[2] = static_cast<uint8_t>(pid);
        p[3] = static_cast<uint8_t>(PAYLOAD_ONLY | (counter & COUNTER_MASK));
    }
    return bytes;
}

std::vector<uint8_t> PacketsWithSteadyPcrs(size_t count, size_t pcrEvery, uint64_t pcrStep, uint64_t firstPcr)
{
    std::vector<uint8_t> bytes = InterleavedPackets({0x100, 0x101}, count);
    for (size_t i = 0; i < count; i += pcrEvery)
        PutPcr(&bytes[i * PACKET], firstPcr + i / pcrEvery * pcrStep);
    return bytes;
}

std::vector<uint8_t> PartAtRate(uint64_t bitsPerSecond, double seconds, uint16_t pcrPid, uint64_t firstPcr,
                                uint64_t* nextPcr)
{
    const double packetSeconds = BITS_PER_PACKET / static_cast<double>(bitsPerSecond);
    size_t pcrEvery = static_cast<size_t>(PART_PCR_INTERVAL_SECONDS / packetSeconds);
    pcrEvery = pcrEvery < 4 ? 2 : pcrEvery - pcrEvery % 2;     // even, so the PCRs stay on pcrPid
    const size_t count = pcrEvery * static_cast<size_t>(seconds / (pcrEvery * packetSeconds) + 0.5);
    std::vector<uint8_t> bytes = InterleavedPackets({pcrPid, static_cast<uint16_t>(pcrPid + 1)}, count);
    const double pcrStep = pcrEvery * packetSeconds * TICKS_PER_SECOND;
    for (size_t i = 0; i < count; i += pcrEvery)
        PutPcr(&bytes[i * PACKET], firstPcr + static_cast<uint64_t>(i / pcrEvery * pcrStep));
    *nextPcr = firstPcr + static_cast<uint64_t>(count / pcrEvery * pcrStep);
    return bytes;
}

void PutPcr(uint8_t* p, uint64_t ticks)
{
    const uint64_t base = ticks / PCR_BASE_MULTIPLIER;
    const uint64_t extension = ticks % PCR_BASE_MULTIPLIER;
    p[3] = static_cast<uint8_t>(ADAPTATION_AND_PAYLOAD | (p[3] & 0x0F));
    p[4] = PCR_ADAPTATION_LENGTH;
    p[5] = PCR_FLAG;
    p[6] = static_cast<uint8_t>(base >> 25);
    p[7] = static_cast<uint8_t>(base >> 17);
    p[8] = static_cast<uint8_t>(base >> 9);
    p[9] = static_cast<uint8_t>(base >> 1);
    p[10] = static_cast<uint8_t>(((base & 1) << 7) | PCR_RESERVED_BITS | (extension >> 8));
    p[11] = static_cast<uint8_t>(extension);
}

std::string TempFileWith(const std::vector<uint8_t>& bytes)
{
    char dir[MAX_PATH + 1];
    char path[MAX_PATH + 1];
    GetTempPathA(sizeof dir, dir);
    GetTempFileNameA(dir, "zfs", 0, path);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return path;
}
