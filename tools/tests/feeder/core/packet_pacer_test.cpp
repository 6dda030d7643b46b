// The packet pacer alone: PCRs that jump, restart or move to another PID, and a constant rate.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "packet_pacer.h"
#include "synthetic_ts.h"
#include "ts_packet.h"

namespace {

// PCRs every 40 ms with ten packets between them; the clock jumps as given.
struct PcrStep {
    int64_t     jumpTicks;      // added to the PCR before this step
    bool        restart;        // the file starts again before this step
};

TEST(PacketPacer, JumpsAndRestartsKeepTheFortyMillisecondRhythm)
{
    const uint64_t STEP_TICKS = PCR_TICKS_PER_SECOND / 25;
    const double STEP_SECONDS = 0.040;
    const PcrStep steps[] = {{0, false}, {0, false}, {0, false}, {5 * 27000000LL, false}, {0, false},
                             {-3 * 27000000LL, false}, {0, false}, {-1000000, true}, {0, false}, {0, false}};
    PacketPacer pacer(PaceMode::PCR, 0);
    std::vector<uint8_t> packets = PacketsWithoutPcr(11);
    uint64_t pcr = 1000000;
    double now = 100.0;
    double lastPcrDue = -1.0;
    for (const PcrStep& step : steps) {
        SCOPED_TRACE("PCR " + std::to_string(pcr));
        if (step.restart)
            pacer.Restart();
        pcr += step.jumpTicks;
        PutPcr(&packets[0], pcr);
        for (size_t i = 0; i < 11; ++i) {
            const uint8_t* p = &packets[i * TS_PACKET_BYTES];
            const double due = pacer.DueSeconds(p, now);
            if (i == 0 && lastPcrDue >= 0.0)
                EXPECT_NEAR(due - lastPcrDue, STEP_SECONDS, 1e-6);
            if (i == 0)
                lastPcrDue = due;
            now = std::max(now, due);     // sent exactly when due
            pacer.Commit(p);
        }
        pcr += STEP_TICKS;
    }
}


TEST(PacketPacer, AConstantRateSpacesPacketsEvenlyAndForgetsTimeTheHostHeldItBack)
{
    const uint64_t BITS_PER_SECOND = 1504000;   // 1,000 packets a second
    const double PACKET_SECONDS = 0.001;
    PacketPacer pacer(PaceMode::RATE, BITS_PER_SECOND);
    const std::vector<uint8_t> packet = PacketsWithoutPcr(1);
    double now = 50.0;
    for (int i = 0; i < 100; ++i) {
        const double due = pacer.DueSeconds(packet.data(), now);
        EXPECT_NEAR(due, 50.0 + i * PACKET_SECONDS, 1e-9) << "packet " << i;
        now = std::max(now, due);
        pacer.Commit(packet.data());
    }
    now += 5.0;     // held back for 5 s: go on from now instead of sending 5 s at once
    const double late = pacer.DueSeconds(packet.data(), now);
    EXPECT_NEAR(late, now, 1e-9);
    pacer.Commit(packet.data());
    EXPECT_NEAR(pacer.DueSeconds(packet.data(), now), now + PACKET_SECONDS, 1e-9);
}

// Two recordings joined end to end, or a broadcast across a programme change: 5 s at 29 Mbit/s
// with PCRs on one PID, then 4 s at 18 Mbit/s with PCRs on another. Sent as each packet falls
// due, the whole takes its 9 s, whether the second clock goes on from the first or starts anew.
TEST(PacketPacer, PcrsThatMoveToAnotherPidPaceTheRestByTheirOwnClock)
{
    for (const bool continuous : {true, false}) {
        SCOPED_TRACE(continuous ? "one clock" : "a new clock");
        uint64_t pcr = 0;
        std::vector<uint8_t> bytes = PartAtRate(29000000, 5.0, 0x100, 1000000, &pcr);
        const std::vector<uint8_t> second = PartAtRate(18000000, 4.0, 0x200, continuous ? pcr : 5000, &pcr);
        const double seconds = bytes.size() * 8.0 / 29000000 + second.size() * 8.0 / 18000000;   // 9 s, to whole PCRs
        bytes.insert(bytes.end(), second.begin(), second.end());
        PacketPacer pacer(PaceMode::PCR, 0);
        const double start = 100.0;
        double now = start;
        for (size_t at = 0; at < bytes.size(); at += TS_PACKET_BYTES) {
            now = std::max(now, pacer.DueSeconds(&bytes[at], now));
            pacer.Commit(&bytes[at]);
        }
        EXPECT_NEAR(now - start, seconds, 0.01) << "sent in " << now - start << " s";
    }
}

} // namespace
