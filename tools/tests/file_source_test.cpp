// The file source in-process: what it sends, how it loops and how it paces.
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>

#include "feeder_streams.h"
#include "packet_pacer.h"
#include "source_kinds.h"
#include "ts_check.h"
#include "ts_packet.h"

namespace {

const DWORD  READ_WAIT_MS = 20;
const size_t BATCH = 48128;

std::unique_ptr<Source> OpenFile(const std::string& text)
{
    std::string why;
    std::unique_ptr<SourceConfig> config = ParseFileSource(text, &why);
    EXPECT_TRUE(config) << why;
    std::unique_ptr<Source> source = config ? config->Create() : nullptr;
    if (source && !source->Open())
        ADD_FAILURE() << source->Error();
    return source;
}

// Reads until `bytes` have come or the source ends, in batches of varying size.
std::vector<uint8_t> ReadSome(Source* source, size_t bytes, ReadStatus* last)
{
    const size_t capacities[] = {BATCH, 3 * TS_PACKET_BYTES, 5000, TS_PACKET_BYTES};
    std::vector<uint8_t> out;
    std::vector<uint8_t> buffer(BATCH);
    for (size_t i = 0; out.size() < bytes; ++i) {
        const ReadResult result = source->Read(buffer.data(), capacities[i % 4], READ_WAIT_MS);
        *last = result.status;
        if (result.status == ReadStatus::ENDED || result.status == ReadStatus::FAILED)
            break;
        out.insert(out.end(), buffer.begin(), buffer.begin() + result.bytes);
    }
    return out;
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

// Packets of one PID with payload and no PCR, counters in order.
std::vector<uint8_t> PacketsWithoutPcr(size_t count)
{
    std::vector<uint8_t> bytes(count * TS_PACKET_BYTES, 0xFF);
    for (size_t i = 0; i < count; ++i) {
        uint8_t* p = &bytes[i * TS_PACKET_BYTES];
        p[0] = TS_SYNC_BYTE;
        p[1] = 0x01;
        p[2] = 0x00;
        p[3] = static_cast<uint8_t>(0x10 | (i & 0x0F));
    }
    return bytes;
}

void PutPcr(uint8_t* p, uint64_t ticks)
{
    const uint64_t base = ticks / 300;
    const uint64_t extension = ticks % 300;
    p[3] = static_cast<uint8_t>(0x30 | (p[3] & 0x0F));
    p[4] = 7;
    p[5] = 0x10;
    p[6] = static_cast<uint8_t>(base >> 25);
    p[7] = static_cast<uint8_t>(base >> 17);
    p[8] = static_cast<uint8_t>(base >> 9);
    p[9] = static_cast<uint8_t>(base >> 1);
    p[10] = static_cast<uint8_t>(((base & 1) << 7) | 0x7E | (extension >> 8));
    p[11] = static_cast<uint8_t>(extension);
}

TEST(FileSource, UnpacedPlaysTheFileByteForByteThenStaysEnded)
{
    const std::string path = StreamPath("clip_a.ts");
    const std::vector<uint8_t> file = ReadWholeFile(path);
    ASSERT_GT(file.size(), 0u);
    std::unique_ptr<Source> source = OpenFile("file:" + path + "?pace=none");
    ASSERT_TRUE(source);
    ReadStatus last = ReadStatus::DATA;
    const std::vector<uint8_t> got = ReadSome(source.get(), file.size() * 2, &last);
    EXPECT_EQ(last, ReadStatus::ENDED);
    EXPECT_TRUE(got == file) << got.size() << " bytes against " << file.size();
    uint8_t byte = 0;
    EXPECT_EQ(source->Read(&byte, 1, 0).status, ReadStatus::ENDED);
}

// The '?' of a \\?\ prefix is the path's, not the start of options.
TEST(FileSource, ALongPathWithItsQuestionMarkPrefixIsOpenedAndItsOptionsApplied)
{
    const std::string path = StreamPath("clip_a.ts");
    const std::vector<uint8_t> file = ReadWholeFile(path);
    ASSERT_GT(file.size(), 0u);
    std::unique_ptr<Source> source = OpenFile("file:\\\\?\\" + path + "?pace=none");
    ASSERT_TRUE(source);
    ReadStatus last = ReadStatus::DATA;
    const std::vector<uint8_t> got = ReadSome(source.get(), file.size() * 2, &last);
    EXPECT_EQ(last, ReadStatus::ENDED) << "?pace=none was not taken as an option";
    EXPECT_TRUE(got == file) << got.size() << " bytes against " << file.size();
}

TEST(FileSource, LoopCarriesEveryCounterOnAndMarksTheFirstPcrOfEachNewPass)
{
    const std::string path = StreamPath("clip_b.ts");
    const std::vector<uint8_t> file = ReadWholeFile(path);
    const TsReport original = CheckTransportStream(file);
    ASSERT_GT(original.pcrs.size(), 2u);
    std::unique_ptr<Source> source = OpenFile("file:" + path + "?pace=none&loop");
    ASSERT_TRUE(source);
    ReadStatus last = ReadStatus::DATA;
    const std::vector<uint8_t> got = ReadSome(source.get(), file.size() * 5 / 2, &last);
    ASSERT_GE(got.size(), file.size() * 5 / 2);
    EXPECT_TRUE(std::equal(file.begin(), file.end(), got.begin())) << "the first pass is the file itself";

    const TsReport report = CheckTransportStream(got);
    EXPECT_EQ(report.continuityErrors, 0u) << report.firstError;
    EXPECT_EQ(report.pids, original.pids);
    std::vector<uint64_t> marked;
    for (const TsPcr& pcr : report.pcrs)
        if (pcr.discontinuity)
            marked.push_back(pcr.offset);
    ASSERT_EQ(marked.size(), 2u) << "one marked PCR per restart";
    EXPECT_EQ(marked[0], file.size() + original.pcrs.front().offset);
    EXPECT_EQ(marked[1], 2 * file.size() + original.pcrs.front().offset);
}

TEST(FileSource, LoopPlaysOnlyWholePacketsOfAFileWithACutTail)
{
    std::vector<uint8_t> bytes = PacketsWithoutPcr(10);
    bytes.resize(bytes.size() + 100, 0x47);
    const std::string path = TempFileWith(bytes);
    std::unique_ptr<Source> source = OpenFile("file:" + path + "?pace=none&loop");
    ASSERT_TRUE(source);
    ReadStatus last = ReadStatus::DATA;
    const TsReport report = CheckTransportStream(ReadSome(source.get(), 30 * TS_PACKET_BYTES, &last));
    EXPECT_EQ(report.strayBytes, 0u);
    EXPECT_EQ(report.continuityErrors, 0u) << report.firstError;
    source.reset();
    DeleteFileA(path.c_str());
}

TEST(FileSource, TroubleIsExplainedInWords)
{
    const std::string path = TempFileWith(PacketsWithoutPcr(50));
    std::string why;
    std::unique_ptr<Source> paced = ParseFileSource("file:" + path, &why)->Create();
    EXPECT_FALSE(paced->Open());
    EXPECT_NE(paced->Error().find("no PCR"), std::string::npos) << paced->Error();
    EXPECT_NE(paced->Error().find("?pace=none"), std::string::npos) << paced->Error();
    EXPECT_NE(paced->Error().find("?rate=BITS"), std::string::npos) << paced->Error();
    std::unique_ptr<Source> unpaced = ParseFileSource("file:" + path + "?pace=none", &why)->Create();
    EXPECT_TRUE(unpaced->Open()) << unpaced->Error();
    paced.reset();
    unpaced.reset();
    DeleteFileA(path.c_str());

    std::unique_ptr<Source> missing = ParseFileSource("file:no-such-recording.ts", &why)->Create();
    EXPECT_FALSE(missing->Open());
    EXPECT_NE(missing->Error().find("cannot open no-such-recording.ts (error 2: "), std::string::npos)
        << missing->Error();
}

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

} // namespace

namespace {

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

} // namespace
