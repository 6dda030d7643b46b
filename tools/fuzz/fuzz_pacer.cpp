// A recording's packets through the pacer and the continuity carry, on a fake
// clock that a host may hold back, with restarts where a loop would make them:
// every due time is finite and no wait before a packet is longer than the pacing
// allows; the carried counters go on by one across a restart and keep the file's
// own steps within a pass. And a recording made of parts at their own rates, their
// PCRs moving between PIDs and clocks, sent as each packet falls due, takes its own span.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "continuity_carry.h"
#include "fuzz_check.h"
#include "fuzz_input.h"
#include "fuzz_recording.h"
#include "packet_pacer.h"
#include "ts_packet.h"

namespace {

const size_t   HEADER_BYTES = 5;           // the pace mode, then the rate
const size_t   RECORD_BYTES = 1 + TS_PACKET_BYTES;
// A restart costs a pass over every PID: one record in eight, as loops are rarer than packets.
const uint8_t  RESTART_BITS = 0x07;
const int      HOLD_SHIFT = 3;
const double   HOLD_STEP_SECONDS = 0.05;   // per unit of a record's hold-back
const double   START_SECONDS = 1000.0;
const uint64_t RATE_MIN = 1000;            // the lowest ?rate= accepts
// The longest a single packet may wait: a PCR step the pacer accepts (1 s), or one
// packet at the lowest rate, with room for rounding.
const double   MAX_WAIT_SECONDS = 2.0;
// A recording sent as each packet falls due takes its own span within a few percent.
const double   SPAN_TOLERANCE = 0.03;

struct CarryModel {
    std::vector<int8_t> lastSent = std::vector<int8_t>(TS_PID_COUNT, -1);
    std::vector<int8_t> passOffset = std::vector<int8_t>(TS_PID_COUNT, -1);    // -1: not yet in this pass

    void Restart() { passOffset.assign(TS_PID_COUNT, -1); }

    void Check(const uint8_t* before, const uint8_t* after)
    {
        if (!TsHasSync(before) || TsPid(before) == TS_NULL_PID) {
            FUZZ_CHECK(std::memcmp(before, after, TS_PACKET_BYTES) == 0);
            return;
        }
        const uint16_t pid = TsPid(before);
        const int sent = TsContinuity(after);
        const int offset = (sent - TsContinuity(before)) & 0x0F;
        if (passOffset[pid] < 0 && lastSent[pid] >= 0)
            FUZZ_CHECK(sent == ((lastSent[pid] + (TsHasPayload(before) ? 1 : 0)) & 0x0F));
        if (passOffset[pid] >= 0)
            FUZZ_CHECK(offset == passOffset[pid]);
        passOffset[pid] = static_cast<int8_t>(offset);
        lastSent[pid] = static_cast<int8_t>(sent);
        FUZZ_CHECK(std::memcmp(before + 4, after + 4, TS_PACKET_BYTES - 4) == 0
                   || (before[3] & 0x20) != 0);     // only an adaptation field may be marked
    }
};

PacketPacer MakePacer(const uint8_t* data)
{
    const PaceMode mode = data[0] % 3 == 0 ? PaceMode::PCR : data[0] % 3 == 1 ? PaceMode::RATE : PaceMode::NONE;
    uint32_t raw = 0;
    std::memcpy(&raw, data + 1, sizeof raw);
    // As the file source makes it: a rate only for ?rate=, within what that accepts.
    return PacketPacer(mode, mode == PaceMode::RATE ? RATE_MIN + raw : 0);
}

void CheckOwnSpan(const uint8_t* data, size_t size)
{
    FuzzInput in{data, size};
    const FuzzRecording recording = MakeFuzzRecording(&in);
    PacketPacer pacer(PaceMode::PCR, 0);
    double now = START_SECONDS;
    for (size_t at = 0; at < recording.bytes.size(); at += TS_PACKET_BYTES) {
        now = std::max(now, pacer.DueSeconds(&recording.bytes[at], now));
        pacer.Commit(&recording.bytes[at]);
    }
    const double sent = now - START_SECONDS;
    if (std::fabs(sent - recording.lastPacketSeconds) > SPAN_TOLERANCE * recording.seconds + recording.byteTimedErrorSeconds) {
        std::fprintf(stderr, "sent in %.3f s, its own span %.3f s\n", sent, recording.lastPacketSeconds);
        FUZZ_CHECK(!"a recording sent as due takes its own span");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CheckOwnSpan(data, size);
    if (size < HEADER_BYTES)
        return 0;
    PacketPacer pacer = MakePacer(data);
    ContinuityCarry carry;
    CarryModel model;
    double now = START_SECONDS;
    uint8_t packet[TS_PACKET_BYTES];
    for (size_t at = HEADER_BYTES; at + RECORD_BYTES <= size; at += RECORD_BYTES) {
        const uint8_t control = data[at];
        if ((control & RESTART_BITS) == RESTART_BITS) {
            pacer.Restart();
            carry.Restart();
            model.Restart();
        }
        std::memcpy(packet, data + at + 1, TS_PACKET_BYTES);
        const double due = pacer.DueSeconds(packet, now);
        FUZZ_CHECK(std::isfinite(due));
        FUZZ_CHECK(due - now <= MAX_WAIT_SECONDS);
        pacer.Commit(packet);
        carry.Apply(packet, 1);
        model.Check(data + at + 1, packet);
        now = (due > now ? due : now) + (control >> HOLD_SHIFT) * HOLD_STEP_SECONDS;
    }
    return 0;
}
