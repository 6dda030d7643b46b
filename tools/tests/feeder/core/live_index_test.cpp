// Live files: where a visit enters a looped recording, how the index is made from
// its PCRs, what it refuses, and the file source that joins them to the feeder's clock.
#include <gtest/gtest.h>
#include <windows.h>

#include <cmath>
#include <cstring>
#include <fstream>

#include "feeder_clock.h"
#include "file_play.h"
#include "live_scan.h"
#include "source_kinds.h"
#include "synthetic_ts.h"
#include "ts_check.h"
#include "ts_packet.h"

namespace {

const char     PATH[] = "news.ts";
// A recording of 10 s: 500 packets a second, a PCR every 20 packets (40 ms), from 5 s on.
const size_t   PACKETS_PER_SECOND = 500;
const size_t   PCR_EVERY = 20;
const double   PCR_INTERVAL_SECONDS = 0.04;
const uint64_t PCR_STEP = static_cast<uint64_t>(PCR_INTERVAL_SECONDS * PCR_TICKS_PER_SECOND);
const uint64_t FIRST_PCR = 5 * PCR_TICKS_PER_SECOND;
const double   RECORDING_SECONDS = 10.0;
const size_t   RECORDING_PACKETS = static_cast<size_t>(RECORDING_SECONDS * PACKETS_PER_SECOND);
// The promise: an entry lies at most 0.1 s and one PCR interval before its moment, never after,
// from an index of at most 10 marks a second of recording.
const double   ENTRY_LAG_SECONDS = 0.1 + PCR_INTERVAL_SECONDS;
const double   MAX_MARKS_PER_SECOND = 10.0;
const double   TICK_SECONDS = 1.0 / PCR_TICKS_PER_SECOND;
const double   SEAM_TOLERANCE_SECONDS = 1e-6;
const size_t   STRAY_BYTES = 77;
const uint32_t READ_WAIT_MS = 100;
const uint8_t  NOT_SYNC = 0x11;

struct MemoryFile : PlayFile {
    std::vector<uint8_t>    content;
    uint64_t                pos = 0;
    int                     reads = 0;

    explicit MemoryFile(std::vector<uint8_t> bytes) : content(std::move(bytes)) {}
    bool Size(uint64_t* size, std::string*) override { *size = content.size(); return true; }
    bool Read(uint8_t* dst, size_t want, size_t* got, std::string*) override
    {
        *got = pos < content.size() ? std::min<uint64_t>(want, content.size() - pos) : 0;
        std::memcpy(dst, content.data() + std::min<uint64_t>(pos, content.size()), *got);
        pos += *got;
        ++reads;
        return true;
    }
    bool Seek(uint64_t offset, std::string*) override { pos = offset; return true; }
};

struct StillClock : PlayClock {
    double Seconds() override { return 0.0; }
    void Wait(double) override {}
};

std::vector<uint8_t> TenSeconds()
{
    return PacketsWithSteadyPcrs(RECORDING_PACKETS, PCR_EVERY, PCR_STEP, FIRST_PCR);
}

::testing::AssertionResult Indexed(PlayFile* file, LiveIndex* index)
{
    std::string why;
    if (ScanLiveIndex(file, PATH, [] { return false; }, index, &why))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "not indexed: " << why;
}

std::string Refusal(std::vector<uint8_t> bytes)
{
    MemoryFile file(std::move(bytes));
    LiveIndex index;
    std::string why;
    EXPECT_FALSE(ScanLiveIndex(&file, PATH, [] { return false; }, &index, &why));
    return why;
}

// Seconds into the recording (after its first PCR) of the packet a play entered at `seconds` sends first.
double FirstPcrSeconds(MemoryFile* file, const LiveIndex& index, double seconds)
{
    FileSettings settings;
    settings.path = PATH;
    settings.loop = true;
    settings.live = true;
    StillClock clock;
    file->pos = 0;      // as opened anew for the visit
    FilePlay play(settings, file, &clock);
    EXPECT_TRUE(play.Start()) << play.Error();
    EXPECT_TRUE(play.EnterLive(index, seconds)) << play.Error();
    uint8_t packet[TS_PACKET_BYTES] = {};
    const ReadResult result = play.Read(packet, sizeof packet, READ_WAIT_MS);
    EXPECT_EQ(result.bytes, TS_PACKET_BYTES);
    uint64_t pcr = 0;
    EXPECT_TRUE(TsHasSync(packet) && TsReadPcr(packet, &pcr)) << "the entry packet carries no PCR";
    return static_cast<double>(pcr - FIRST_PCR) / PCR_TICKS_PER_SECOND;
}

// The entry's place in the recording lags the moment's place by no more than ENTRY_LAG_SECONDS.
::testing::AssertionResult EntersAt(double entered, double expected)
{
    const double lag = expected - entered;
    if (lag >= -TICK_SECONDS && lag <= ENTRY_LAG_SECONDS)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "entered at " << entered << " s of the recording, " << lag
                                         << " s before " << expected << " s (allowed 0 to " << ENTRY_LAG_SECONDS << ")";
}

} // namespace

// --- where a visit enters ---

// Two visits 3.5 s apart enter 3.5 s apart in the recording; past the loop's end, where the
// next pass stands; just before the seam, among the pass's last marks; on it, at the first PCR.
TEST(LiveEntry, VisitsEnterWhereTheClockStandsModuloTheLoop)
{
    MemoryFile file(TenSeconds());
    LiveIndex index;
    ASSERT_TRUE(Indexed(&file, &index));
    const double loop = index.LoopSeconds();
    const double first = FirstPcrSeconds(&file, index, 2.25);
    const double second = FirstPcrSeconds(&file, index, 5.75);
    EXPECT_TRUE(EntersAt(first, 2.25));
    EXPECT_TRUE(EntersAt(second, 5.75));
    EXPECT_NEAR(second - first, 3.5, ENTRY_LAG_SECONDS);
    EXPECT_TRUE(EntersAt(FirstPcrSeconds(&file, index, 2 * loop + 1.3), 1.3));
    EXPECT_TRUE(EntersAt(FirstPcrSeconds(&file, index, 3 * loop - 0.05), loop - 0.05));
    EXPECT_EQ(FirstPcrSeconds(&file, index, 5 * loop), 0.0);
}

// Stray bytes before the first packet shift every packet: the entry must still be at a sync byte.
TEST(LiveEntry, EntryIsAWholePacketAtSyncThatCarriesAPcrAfterStrayBytes)
{
    std::vector<uint8_t> bytes(STRAY_BYTES, NOT_SYNC);
    const std::vector<uint8_t> packets = TenSeconds();
    bytes.insert(bytes.end(), packets.begin(), packets.end());
    MemoryFile file(bytes);
    LiveIndex index;
    ASSERT_TRUE(Indexed(&file, &index));
    EXPECT_EQ(index.Start(), STRAY_BYTES);
    for (double seconds : {0.0, 0.33, 4.0, 9.99}) {
        const LiveMark entry = index.EntryAt(seconds);
        EXPECT_EQ(entry.offset % TS_PACKET_BYTES, 0u) << seconds;
        const uint8_t* packet = &bytes[index.Start() + entry.offset];
        uint64_t pcr = 0;
        EXPECT_TRUE(TsHasSync(packet) && TsReadPcr(packet, &pcr)) << "entry at " << seconds << " s";
        EXPECT_TRUE(EntersAt(FirstPcrSeconds(&file, index, seconds), seconds));
    }
}

// --- how the index is made ---

// From the first PCR to the last, then round the seam to the first: 10 s in all; a mark
// every third PCR (120 ms), however often the PCRs come.
TEST(LiveIndexing, TheLoopLastsItsPcrSpanAndTheSeamAndItsMarksAreSparse)
{
    MemoryFile file(TenSeconds());
    LiveIndex index;
    ASSERT_TRUE(Indexed(&file, &index));
    EXPECT_NEAR(index.LoopSeconds(), RECORDING_SECONDS, SEAM_TOLERANCE_SECONDS);
    EXPECT_LE(index.MarkCount(), static_cast<size_t>(RECORDING_SECONDS * MAX_MARKS_PER_SECOND) + 1);
    EXPECT_GE(index.MarkCount(), static_cast<size_t>(RECORDING_SECONDS / ENTRY_LAG_SECONDS));
}

// A recording spliced from two: the PCR jumps back halfway. The loop counts the bytes
// across the jump at the rate, not the jump, as the pacer will play it.
TEST(LiveIndexing, APcrThatJumpsIsANewClockNotTimeInTheLoop)
{
    std::vector<uint8_t> bytes = TenSeconds();
    const std::vector<uint8_t> spliced = PacketsWithSteadyPcrs(RECORDING_PACKETS, PCR_EVERY, PCR_STEP, 0);
    bytes.insert(bytes.end(), spliced.begin(), spliced.end());
    MemoryFile file(bytes);
    LiveIndex index;
    ASSERT_TRUE(Indexed(&file, &index));
    EXPECT_NEAR(index.LoopSeconds(), 2 * RECORDING_SECONDS, SEAM_TOLERANCE_SECONDS);
    const LiveMark late = index.EntryAt(15.0);
    EXPECT_GE(late.offset, RECORDING_PACKETS * TS_PACKET_BYTES) << "15 s in is in the second half";
}

// 2 s at 4 Mbit/s, then 4 s at 11 Mbit/s with the PCRs on another PID, one clock throughout:
// the loop lasts 6 s, and visits enter every part of it as closely as anywhere, the first
// half second of the second part included, before the new PID took the lead.
TEST(LiveIndexing, PcrsThatMoveToAnotherPidTimeTheRestByTheirOwnClock)
{
    uint64_t pcr = 0;
    std::vector<uint8_t> bytes = PartAtRate(4000000, 2.0, 0x100, FIRST_PCR, &pcr);
    const std::vector<uint8_t> second = PartAtRate(11000000, 4.0, 0x200, pcr, &pcr);
    const double seconds = bytes.size() * 8.0 / 4000000 + second.size() * 8.0 / 11000000;    // 6 s, to whole PCRs
    bytes.insert(bytes.end(), second.begin(), second.end());
    MemoryFile file(bytes);
    LiveIndex index;
    ASSERT_TRUE(Indexed(&file, &index));
    EXPECT_NEAR(index.LoopSeconds(), seconds, 0.01);
    for (double seconds : {1.0, 2.2, 2.45, 4.0, 5.9})
        EXPECT_TRUE(EntersAt(FirstPcrSeconds(&file, index, seconds), seconds)) << seconds << " s in";
}

TEST(LiveIndexing, AStopBetweenChunksEndsTheScanWithoutAReasonOrAnIndex)
{
    MemoryFile file(PacketsWithSteadyPcrs(8 * FILE_PLAY_CHUNK_BYTES / TS_PACKET_BYTES, PCR_EVERY, PCR_STEP, 0));
    LiveIndex index;
    std::string why = "sentinel";
    int asked = 0;
    EXPECT_FALSE(ScanLiveIndex(&file, PATH, [&] { return ++asked > 1; }, &index, &why));
    EXPECT_TRUE(why.empty()) << why;
    EXPECT_LE(file.reads, 2) << "the first packet's chunk, then one chunk before the stop";
}

// --- what is refused ---

TEST(LiveRefusal, ARecordingWithoutAClockIsRefusedSayingWhy)
{
    const struct {
        std::vector<uint8_t>    bytes;
        const char*             said;
    } cases[] = {
        {PacketsWithoutPcr(RECORDING_PACKETS), "no PCR"},
        {PacketsWithSteadyPcrs(RECORDING_PACKETS, PCR_EVERY, 0, FIRST_PCR), "never advance"},
        {std::vector<uint8_t>(3 * TS_PACKET_BYTES, NOT_SYNC), "no transport stream"},
    };
    for (const auto& c : cases) {
        const std::string why = Refusal(c.bytes);
        EXPECT_NE(why.find(std::string("cannot play ") + PATH + " live"), std::string::npos) << why;
        EXPECT_NE(why.find(c.said), std::string::npos) << why;
    }
}

TEST(LiveRefusal, AnIndexOfAnotherVersionOfTheFileIsNotEntered)
{
    MemoryFile file(TenSeconds());
    LiveIndex index;
    ASSERT_TRUE(Indexed(&file, &index));
    file.content.resize(file.content.size() / 2);
    FileSettings settings;
    settings.path = PATH;
    settings.loop = settings.live = true;
    StillClock clock;
    FilePlay play(settings, &file, &clock);
    ASSERT_TRUE(play.Start()) << play.Error();
    EXPECT_FALSE(play.EnterLive(index, 8.0));
    EXPECT_NE(play.Error().find("changed since it was indexed"), std::string::npos) << play.Error();
}

TEST(LiveRefusal, LiveNeedsLoopAndThePcrPace)
{
    const struct {
        const char* text;
        const char* said;
    } cases[] = {
        {"file:a.ts?live", "live needs loop"},
        {"file:a.ts?live&pace=none&loop", "takes no pace=none or rate="},
        {"file:a.ts?rate=8M&loop&live", "takes no pace=none or rate="},
        {"file:a.ts?loop&live=1", "live takes no value"},
    };
    for (const auto& c : cases) {
        std::string why;
        EXPECT_EQ(ParseFileSource(c.text, &why), nullptr) << c.text;
        EXPECT_NE(why.find(c.said), std::string::npos) << c.text << ": " << why;
    }
    std::string why;
    EXPECT_NE(ParseFileSource("file:a.ts?live&loop", &why), nullptr) << why;
    EXPECT_NE(ParseFileSource("file:a.ts?pace=pcr&loop&live", &why), nullptr) << why;
}
