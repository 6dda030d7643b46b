// The file source in-process: what it sends, how it loops and how it paces.
// The pacer alone has a file of its own in core/.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>

#include "clock.h"
#include "feeder_streams.h"
#include "source_kinds.h"
#include "synthetic_ts.h"
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

// Opens the source text and reads it to its end: it must give exactly the file's bytes.
::testing::AssertionResult PlaysTheWholeFile(const std::string& text, const std::vector<uint8_t>& file)
{
    std::unique_ptr<Source> source = OpenFile(text);
    if (!source)
        return ::testing::AssertionFailure() << text << " did not open";
    ReadStatus last = ReadStatus::DATA;
    const std::vector<uint8_t> got = ReadSome(source.get(), file.size() * 2, &last);
    if (last != ReadStatus::ENDED)
        return ::testing::AssertionFailure() << text << " did not end after the file";
    if (got != file)
        return ::testing::AssertionFailure() << got.size() << " bytes against " << file.size();
    uint8_t byte = 0;
    if (source->Read(&byte, 1, 0).status != ReadStatus::ENDED)
        return ::testing::AssertionFailure() << text << " did not stay ended";
    return ::testing::AssertionSuccess();
}

TEST(FileSource, UnpacedPlaysTheFileByteForByteThenStaysEnded)
{
    const std::string path = StreamPath("clip_a.ts");
    const std::vector<uint8_t> file = ReadWholeFile(path);
    ASSERT_GT(file.size(), 0u);
    EXPECT_TRUE(PlaysTheWholeFile("file:" + path + "?pace=none", file));
}

// The '?' of a \\?\ prefix is the path's, not the start of options.
TEST(FileSource, ALongPathWithItsQuestionMarkPrefixIsOpenedAndItsOptionsApplied)
{
    const std::string path = StreamPath("clip_a.ts");
    const std::vector<uint8_t> file = ReadWholeFile(path);
    ASSERT_GT(file.size(), 0u);
    EXPECT_TRUE(PlaysTheWholeFile("file:\\\\?\\" + path + "?pace=none", file)) << "?pace=none not taken as an option";
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

// PCRs of one PID: the first at `firstTicks`, each next `stepTicks` later (0: never changes).
struct PcrPlan {
    uint16_t    pid;
    uint64_t    firstTicks;
    uint64_t    stepTicks;
};

const size_t   PACKETS_PER_PCR = 5;
const uint64_t PCR_STEP_TICKS = PCR_TICKS_PER_SECOND / 25;

// The planned PIDs in turn; every fifth packet of each PID carries its next PCR.
std::vector<uint8_t> StreamWithPcrs(const std::vector<PcrPlan>& plans, size_t pcrsPerPid)
{
    std::vector<uint16_t> pids;
    for (const PcrPlan& plan : plans)
        pids.push_back(plan.pid);
    const size_t count = pids.size() * PACKETS_PER_PCR * pcrsPerPid;
    std::vector<uint8_t> bytes = InterleavedPackets(pids, count);
    for (size_t i = 0; i < count; ++i) {
        const PcrPlan& plan = plans[i % plans.size()];
        const size_t nth = i / plans.size();    // among its PID's packets
        if (nth % PACKETS_PER_PCR == 0)
            PutPcr(&bytes[i * TS_PACKET_BYTES], plan.firstTicks + nth / PACKETS_PER_PCR * plan.stepTicks);
    }
    return bytes;
}

struct PcrCase {
    const char*             what;
    std::vector<PcrPlan>    plans;
    size_t                  pcrsPerPid;
};

TEST(FileSource, PcrsThatGiveNoRateAreRefusedWithTheAdviceGivenForNoPcr)
{
    const PcrCase cases[] = {
        {"a single PCR", {{0x100, 1000, PCR_STEP_TICKS}}, 1},
        {"one PCR value repeated", {{0x100, 1000, 0}}, 8},
        {"one value on each of two PIDs", {{0x100, 1000, 0}, {0x200, 9000000, 0}}, 8},
    };
    for (const PcrCase& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = TempFileWith(StreamWithPcrs(c.plans, c.pcrsPerPid));
        std::string why;
        for (const char* options : {"", "?loop"}) {
            std::unique_ptr<Source> paced = ParseFileSource("file:" + path + options, &why)->Create();
            EXPECT_FALSE(paced->Open()) << options;
            EXPECT_NE(paced->Error().find("a single PCR value in the first 8 MiB of " + path + " gives no rate"),
                      std::string::npos) << paced->Error();
            EXPECT_NE(paced->Error().find("?pace=none"), std::string::npos) << paced->Error();
            EXPECT_NE(paced->Error().find("?rate=BITS"), std::string::npos) << paced->Error();
        }
        for (const char* options : {"?pace=none&loop", "?rate=8M&loop"}) {
            std::unique_ptr<Source> unpaced = ParseFileSource("file:" + path + options, &why)->Create();
            EXPECT_TRUE(unpaced->Open()) << options << ": " << unpaced->Error();
        }
        DeleteFileA(path.c_str());
    }
}

TEST(FileSource, TwoDifferentPcrsOfAnyOnePidAreEnoughToPaceBy)
{
    const PcrCase cases[] = {
        {"two PCRs of one PID", {{0x100, 1000, PCR_STEP_TICKS}}, 2},
        {"the second PID's PCRs advance", {{0x100, 1000, 0}, {0x200, 9000000, PCR_STEP_TICKS}}, 8},
    };
    for (const PcrCase& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = TempFileWith(StreamWithPcrs(c.plans, c.pcrsPerPid));
        std::unique_ptr<Source> source = OpenFile("file:" + path + "?loop");
        EXPECT_TRUE(source);
        source.reset();
        DeleteFileA(path.c_str());
    }
}

TEST(FileSource, StrayBytesBeforeTheFirstPacketAreLeftOutSoItsPcrsPaceItAndEveryLoopStaysAligned)
{
    const std::vector<uint8_t> stream = StreamWithPcrs({{0x100, 1000, PCR_STEP_TICKS}}, 4);
    std::vector<uint8_t> file = stream;
    file.insert(file.begin(), 77, TS_SYNC_BYTE);    // sync-like bytes that start no packet
    const std::string path = TempFileWith(file);
    std::unique_ptr<Source> source = OpenFile("file:" + path + "?pace=none&loop");
    ASSERT_TRUE(source);
    ReadStatus last = ReadStatus::DATA;
    const std::vector<uint8_t> got = ReadSome(source.get(), 2 * stream.size(), &last);
    ASSERT_EQ(got.size(), 2 * stream.size());
    for (size_t at = 0; at < got.size(); at += TS_PACKET_BYTES)
        ASSERT_EQ(TsPid(&got[at]), 0x100) << "misaligned at byte " << at;
    source.reset();
    std::unique_ptr<Source> paced = OpenFile("file:" + path);
    EXPECT_TRUE(paced) << "the stray bytes hid the PCRs";
    paced.reset();
    DeleteFileA(path.c_str());

    const std::string junk = TempFileWith(std::vector<uint8_t>(4000, 0xA5));
    std::string why;
    std::unique_ptr<Source> notStream = ParseFileSource("file:" + junk + "?pace=none", &why)->Create();
    EXPECT_FALSE(notStream->Open());
    EXPECT_NE(notStream->Error().find("holds no transport stream"), std::string::npos) << notStream->Error();
    notStream.reset();
    DeleteFileA(junk.c_str());
}

TEST(FileSource, LoopMarksTheFirstPcrOfEveryPcrPidAfterEachSeam)
{
    const std::vector<uint8_t> file = StreamWithPcrs({{0x100, 1000, PCR_STEP_TICKS},
                                                      {0x200, 9000000, PCR_STEP_TICKS}}, 4);
    const std::string path = TempFileWith(file);
    std::unique_ptr<Source> source = OpenFile("file:" + path + "?pace=none&loop");
    ASSERT_TRUE(source);
    ReadStatus last = ReadStatus::DATA;
    const std::vector<uint8_t> got = ReadSome(source.get(), file.size() * 5 / 2, &last);
    ASSERT_GE(got.size(), file.size() * 5 / 2);

    const TsReport original = CheckTransportStream(file);
    const TsReport report = CheckTransportStream(got);
    EXPECT_EQ(report.continuityErrors, 0u) << report.firstError;
    ASSERT_EQ(report.pcrsByPid.size(), 2u);
    for (const auto& pid : report.pcrsByPid) {
        SCOPED_TRACE("PID " + std::to_string(pid.first));
        std::vector<uint64_t> marked;
        for (const TsPcr& pcr : pid.second)
            if (pcr.discontinuity)
                marked.push_back(pcr.offset);
        const uint64_t first = original.pcrsByPid.at(pid.first).front().offset;
        const std::vector<uint64_t> expected = {file.size() + first, 2 * file.size() + first};
        EXPECT_EQ(marked, expected) << "only the first PCR of each new pass is marked";
    }
    source.reset();
    DeleteFileA(path.c_str());
}

// A file rewritten in place: cut while the source loops it.
const size_t CUT_FILE_PACKETS = 50;
const double DRAIN_SECONDS = 5.0;           // the cut must have shown as trouble by then
const DWORD  DRAIN_JOIN_SLACK_MS = 2000;
const DWORD  READ_SLACK_MS = 1000;          // a loaded machine's lateness beyond the wait

::testing::AssertionResult CutFile(const std::string& path, LONGLONG size)
{
    HANDLE hFile = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               NULL, OPEN_EXISTING, 0, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
        return ::testing::AssertionFailure() << "cannot open " << path << ": error " << GetLastError();
    LARGE_INTEGER at;
    at.QuadPart = size;
    const bool cut = SetFilePointerEx(hFile, at, NULL, FILE_BEGIN) && SetEndOfFile(hFile);
    const DWORD error = GetLastError();
    CloseHandle(hFile);
    if (!cut)
        return ::testing::AssertionFailure() << "cannot cut " << path << ": error " << error;
    return ::testing::AssertionSuccess();
}

struct Drain {
    Source*                 source;
    std::vector<uint8_t>    bytes;
    ReadStatus              last = ReadStatus::NOTHING_YET;
    double                  longestReadSeconds = 0.0;
};

DWORD WINAPI DrainThread(void* context)
{
    Drain* drain = static_cast<Drain*>(context);
    std::vector<uint8_t> buffer(BATCH);
    Stopwatch clock;
    while (clock.Seconds() < DRAIN_SECONDS) {
        const double start = clock.Seconds();
        const ReadResult result = drain->source->Read(buffer.data(), BATCH, READ_WAIT_MS);
        drain->longestReadSeconds = std::max(drain->longestReadSeconds, clock.Seconds() - start);
        drain->last = result.status;
        if (result.status == ReadStatus::FAILED || result.status == ReadStatus::ENDED)
            break;
        drain->bytes.insert(drain->bytes.end(), buffer.begin(), buffer.begin() + result.bytes);
    }
    return 0;
}

// Reads on a thread of its own until the source fails or ends, or DRAIN_SECONDS pass. A Read
// that never returns fails the test instead of hanging it; its thread and source are left
// to the end of the process, since they are still in use.
::testing::AssertionResult DrainUntilTrouble(std::unique_ptr<Source>* source, Drain* drained)
{
    Drain* drain = new Drain{source->get(), {}};
    HANDLE hThread = CreateThread(NULL, 0, DrainThread, drain, 0, NULL);
    if (hThread == NULL)
        return ::testing::AssertionFailure() << "no thread: error " << GetLastError();
    const DWORD joinMs = static_cast<DWORD>(DRAIN_SECONDS * 1000) + DRAIN_JOIN_SLACK_MS;
    const bool joined = WaitForSingleObject(hThread, joinMs) == WAIT_OBJECT_0;
    CloseHandle(hThread);
    if (!joined) {
        source->release();
        return ::testing::AssertionFailure() << "a Read did not return within " << joinMs << " ms";
    }
    *drained = *drain;
    delete drain;
    return ::testing::AssertionSuccess();
}

// Loops a file, cuts it to `size` bytes, then expects the source to fail within DRAIN_SECONDS
// with a message that holds `says`, having sent only whole packets of the pass in hand.
void ExpectLoopedFileCutToFail(LONGLONG size, const std::string& says)
{
    const std::vector<uint8_t> file = PacketsWithoutPcr(CUT_FILE_PACKETS);
    const std::string path = TempFileWith(file);
    std::unique_ptr<Source> source = OpenFile("file:" + path + "?pace=none&loop");
    ASSERT_TRUE(source);
    ReadStatus last = ReadStatus::NOTHING_YET;
    ASSERT_GE(ReadSome(source.get(), file.size() * 3 / 2, &last).size(), file.size() * 3 / 2);
    ASSERT_TRUE(CutFile(path, size));

    Drain drained{nullptr, {}};
    ASSERT_TRUE(DrainUntilTrouble(&source, &drained));
    EXPECT_EQ(drained.last, ReadStatus::FAILED) << drained.bytes.size() << " bytes after the cut";
    EXPECT_NE(source->Error().find(path + says), std::string::npos) << source->Error();
    EXPECT_LE(drained.bytes.size(), file.size()) << "more than the pass in hand when the file was cut";
    EXPECT_EQ(CheckTransportStream(drained.bytes).strayBytes, 0u);
    EXPECT_LE(drained.longestReadSeconds, (READ_WAIT_MS + READ_SLACK_MS) / 1000.0);
    source.reset();
    DeleteFileA(path.c_str());
}

TEST(FileSource, LoopedFileCutToNothingWhileOpenFailsSayingItBecameEmpty)
{
    ExpectLoopedFileCutToFail(0, " became empty while looping (is a program rewriting it?)");
}

TEST(FileSource, LoopedFileCutBelowOnePacketWhileOpenFailsInsteadOfRepeatingTheFragment)
{
    ExpectLoopedFileCutToFail(100, " shrank to 100 bytes, less than one 188-byte packet, while looping");
}

TEST(FileSource, LoopedFileCutMidPacketWhileOpenGoesOnLoopingItsWholePackets)
{
    const size_t KEPT_PACKETS = 5;
    const size_t CUT_PIECE_BYTES = 60;
    const std::vector<uint8_t> file = PacketsWithoutPcr(CUT_FILE_PACKETS);
    const std::string path = TempFileWith(file);
    std::unique_ptr<Source> source = OpenFile("file:" + path + "?pace=none&loop");
    ASSERT_TRUE(source);
    ReadStatus last = ReadStatus::NOTHING_YET;
    std::vector<uint8_t> got = ReadSome(source.get(), file.size() * 3 / 2, &last);
    ASSERT_TRUE(CutFile(path, KEPT_PACKETS * TS_PACKET_BYTES + CUT_PIECE_BYTES));

    const std::vector<uint8_t> after = ReadSome(source.get(), 2 * file.size(), &last);
    EXPECT_EQ(last, ReadStatus::DATA) << source->Error();
    got.insert(got.end(), after.begin(), after.end());
    const TsReport report = CheckTransportStream(got);
    EXPECT_EQ(report.strayBytes, 0u) << "a piece of the cut packet was sent";
    EXPECT_EQ(report.continuityErrors, 0u) << report.firstError;
    source.reset();
    DeleteFileA(path.c_str());
}

} // namespace
