// A recording made from the fuzzer's bytes as joined files, or a broadcast across
// programme changes, make one: parts of 1 to 1.5 s, each at a steady rate with a PCR
// on its first packet and then every 40 to 100 ms, on the PID of the part before or
// another, on the clock of the part before or a new one. Its span is known, so what
// times it can be held to the recording's own span. Rates are low (10 to 75 packets
// a second) so that a run stays quick: what counts is how they differ.
#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz_input.h"
#include "ts_packet.h"

struct FuzzRecording {
    std::vector<uint8_t>    bytes;
    double                  seconds = 0.0;              // from the first packet to the end of the last
    double                  lastPacketSeconds = 0.0;    // where the last packet starts in it
    // The longest time between two PCRs as the pacer plays them: the longest interval of a
    // part, or across a new clock the bytes between at the rate measured on the clock before.
    double                  longestStepSeconds = 0.0;
    // How far timing by bytes may be off, summed over each new clock and the end: the rate
    // measured on a clock against its last part's, both within its fastest and slowest part's.
    double                  byteTimedErrorSeconds = 0.0;
};

namespace fuzz_recording {

const size_t   MAX_PARTS = 3;
const uint16_t FIRST_PID = 0x100;
const uint16_t PID_CHOICES = 3;
const uint8_t  OTHER_PID_BIT = 0x80;
const uint8_t  NEW_CLOCK_BIT = 0x40;
const size_t   MAX_PACKETS_PER_PCR = 3;
const uint64_t TICKS_PER_MS = PCR_TICKS_PER_SECOND / 1000;
const uint64_t MIN_PCR_MS = 40;
const uint64_t PCR_MS_CHOICES = 61;
const uint64_t MIN_PART_MS = 1000;
const uint64_t PART_MS_STEP = 100;
const uint64_t PART_MS_CHOICES = 6;
const uint64_t NEW_CLOCK_UNIT_TICKS = 10 * TICKS_PER_MS;
// A new clock this close ahead of the old one's last PCR would continue it: moved beyond that.
const uint64_t CONTINUES_TICKS = PCR_TICKS_PER_SECOND;
const uint64_t NEW_CLOCK_SHIFT_TICKS = 2 * PCR_TICKS_PER_SECOND;
const uint8_t  FILLER = 0xFF;

inline uint64_t NewClock(uint64_t lastPcr, FuzzInput* in)
{
    const uint64_t high = in->Byte();
    const uint64_t value = ((high << 8) | in->Byte()) * NEW_CLOCK_UNIT_TICKS;
    return value >= lastPcr && value - lastPcr <= CONTINUES_TICKS ? value + NEW_CLOCK_SHIFT_TICKS : value;
}

// The packet rates of the parts on one clock, as seconds a packet.
struct ClockRates {
    double  slowest = 0.0;
    double  fastest = 0.0;
    size_t  lastPerPcr = 0;

    void Add(double packetSeconds, size_t perPcr)
    {
        slowest = std::max(slowest, packetSeconds);
        fastest = fastest == 0.0 ? packetSeconds : std::min(fastest, packetSeconds);
        lastPerPcr = perPcr;
    }
    // The packets after the clock's last PCR, timed by their bytes.
    double LongestEnd() const { return lastPerPcr * slowest; }
    double EndError() const { return lastPerPcr * (slowest - fastest); }
};

} // namespace fuzz_recording

inline void PutFuzzPcr(uint8_t* p, uint64_t pcr)
{
    const uint64_t base = pcr / 300, extension = pcr % 300;
    const uint8_t field[] = {7, 0x10, static_cast<uint8_t>(base >> 25), static_cast<uint8_t>(base >> 17),
                             static_cast<uint8_t>(base >> 9), static_cast<uint8_t>(base >> 1),
                             static_cast<uint8_t>(((base & 1) << 7) | 0x7E | (extension >> 8)),
                             static_cast<uint8_t>(extension)};
    p[3] |= 0x20;
    std::memcpy(p + 4, field, sizeof field);
}

inline FuzzRecording MakeFuzzRecording(FuzzInput* in)
{
    using namespace fuzz_recording;
    FuzzRecording recording;
    const size_t parts = 1 + in->Byte() % MAX_PARTS;
    uint16_t pid = FIRST_PID;
    uint64_t clock = 0;     // the PCR the last part's clock reached at its end
    uint64_t lastPcr = 0;
    ClockRates rates;
    for (size_t part = 0; part < parts; ++part) {
        const uint8_t shape = in->Byte();
        const uint64_t pcrTicks = (MIN_PCR_MS + in->Byte() % PCR_MS_CHOICES) * TICKS_PER_MS;
        const uint64_t partTicks = (MIN_PART_MS + in->Byte() % PART_MS_CHOICES * PART_MS_STEP) * TICKS_PER_MS;
        const size_t perPcr = 1 + shape % MAX_PACKETS_PER_PCR;
        const size_t pcrs = static_cast<size_t>((partTicks + pcrTicks - 1) / pcrTicks);
        if (part > 0 && (shape & OTHER_PID_BIT))
            pid = static_cast<uint16_t>(FIRST_PID + (pid - FIRST_PID + 1 + in->Byte() % 2) % PID_CHOICES);
        if (part > 0 && (shape & NEW_CLOCK_BIT)) {
            clock = NewClock(lastPcr, in);
            recording.longestStepSeconds = std::max(recording.longestStepSeconds, rates.LongestEnd());
            recording.byteTimedErrorSeconds += rates.EndError();
            rates = ClockRates();
        }
        const size_t first = recording.bytes.size();
        recording.bytes.resize(first + pcrs * perPcr * TS_PACKET_BYTES, FILLER);
        for (size_t i = 0; i < pcrs * perPcr; ++i) {
            uint8_t* p = &recording.bytes[first + i * TS_PACKET_BYTES];
            p[0] = TS_SYNC_BYTE;
            p[1] = static_cast<uint8_t>(pid >> 8);
            p[2] = static_cast<uint8_t>(pid);
            p[3] = static_cast<uint8_t>(0x10 | (i & 0x0F));
            if (i % perPcr == 0)
                PutFuzzPcr(p, clock + i / perPcr * pcrTicks);
        }
        lastPcr = clock + (pcrs - 1) * pcrTicks;
        clock += pcrs * pcrTicks;
        const double pcrSeconds = static_cast<double>(pcrTicks) / PCR_TICKS_PER_SECOND;
        recording.seconds += pcrs * pcrSeconds;
        recording.lastPacketSeconds = recording.seconds - pcrSeconds / perPcr;
        recording.longestStepSeconds = std::max(recording.longestStepSeconds, pcrSeconds);
        rates.Add(pcrSeconds / perPcr, perPcr);
    }
    recording.byteTimedErrorSeconds += rates.EndError();
    return recording;
}
