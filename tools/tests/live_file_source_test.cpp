// The live file source in-process: it enters by the feeder's one clock, indexes a
// file again once it was replaced, finds a file that was missing at the start, and
// refuses a recording without PCRs at the start and at each visit, saying why.
#include <gtest/gtest.h>
#include <windows.h>

#include <cmath>
#include <fstream>

#include "feeder_clock.h"
#include "live_index.h"
#include "source_kinds.h"
#include "synthetic_ts.h"
#include "ts_packet.h"

namespace {

const size_t   PACKETS_PER_SECOND = 500;
const size_t   PCR_EVERY = 20;
const double   PCR_INTERVAL_SECONDS = 0.04;
const uint64_t PCR_STEP = static_cast<uint64_t>(PCR_INTERVAL_SECONDS * PCR_TICKS_PER_SECOND);
const uint64_t FIRST_PCR = 0;
const uint64_t OTHER_FIRST_PCR = 1000 * PCR_TICKS_PER_SECOND;     // tells the second version from the first
const double   ENTRY_LAG_SECONDS = LIVE_MARK_SPACING_SECONDS + PCR_INTERVAL_SECONDS;
const DWORD    READ_WAIT_MS = 200;
const double   VISIT_OPEN_SECONDS = 0.2;      // from reading the clock to the entry, on a loaded machine
const DWORD    BETWEEN_VISITS_MS = 300;       // a live play would have moved on by then

std::vector<uint8_t> Seconds(double seconds, uint64_t firstPcr)
{
    return PacketsWithSteadyPcrs(static_cast<size_t>(seconds * PACKETS_PER_SECOND), PCR_EVERY, PCR_STEP, firstPcr);
}

void Rewrite(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

std::unique_ptr<SourceConfig> LiveConfig(const std::string& path)
{
    std::string why;
    std::unique_ptr<SourceConfig> config = ParseFileSource("file:" + path + "?loop&live", &why);
    EXPECT_TRUE(config) << why;
    return config;
}

// Opens a visit and gives the PCR of the first packet it sends, in ticks; false when it does not open.
bool FirstPcr(const SourceConfig& config, uint64_t* pcr, std::string* error)
{
    std::unique_ptr<Source> source = config.Create();
    if (!source->Open()) {
        *error = source->Error();
        return false;
    }
    uint8_t packet[TS_PACKET_BYTES] = {};
    const ReadResult result = source->Read(packet, sizeof packet, READ_WAIT_MS);
    *error = "the first read gave " + std::to_string(result.bytes) + " bytes";
    return result.bytes == TS_PACKET_BYTES && TsReadPcr(packet, pcr);
}

// How far the entry lags the feeder clock's place in the loop, read around the visit.
double EntryLag(const SourceConfig& config, double loopSeconds)
{
    const double before = SecondsSinceFeederStart();
    uint64_t pcr = 0;
    std::string error;
    EXPECT_TRUE(FirstPcr(config, &pcr, &error)) << error;
    const double entered = static_cast<double>(pcr - FIRST_PCR) / PCR_TICKS_PER_SECOND;
    return std::remainder(std::fmod(before, loopSeconds) - entered, loopSeconds);
}

class LiveFileSource : public ::testing::Test {
protected:
    void TearDown() override { DeleteFileA(m_path.c_str()); }

    std::string m_path;
};

} // namespace

TEST_F(LiveFileSource, AVisitEntersWhereTheFeedersClockStandsInTheLoop)
{
    const double loop = 4.0;
    m_path = TempFileWith(Seconds(loop, FIRST_PCR));
    const std::unique_ptr<SourceConfig> config = LiveConfig(m_path);
    ASSERT_TRUE(config);
    EXPECT_NE(config->Prepare(NULL).find("a loop of 4.0 s"), std::string::npos);
    for (int visit = 0; visit < 3; ++visit) {
        const double lag = EntryLag(*config, loop);
        // Read before the visit, the clock can only be behind by the visit's own few milliseconds.
        EXPECT_GE(lag, -VISIT_OPEN_SECONDS) << "visit " << visit;
        EXPECT_LE(lag, ENTRY_LAG_SECONDS) << "visit " << visit;
    }
}

TEST_F(LiveFileSource, AReplacedFileIsIndexedAgainAtTheNextVisit)
{
    m_path = TempFileWith(Seconds(4.0, FIRST_PCR));
    const std::unique_ptr<SourceConfig> config = LiveConfig(m_path);
    ASSERT_TRUE(config);
    config->Prepare(NULL);
    Rewrite(m_path, Seconds(3.0, OTHER_FIRST_PCR));
    uint64_t pcr = 0;
    std::string error;
    ASSERT_TRUE(FirstPcr(*config, &pcr, &error)) << error;
    EXPECT_GE(pcr, OTHER_FIRST_PCR) << "entered by the old index";
}

TEST_F(LiveFileSource, AFileMissingAtTheStartIsIndexedAtTheFirstVisitThatFindsIt)
{
    m_path = TempFileWith({});
    DeleteFileA(m_path.c_str());
    const std::unique_ptr<SourceConfig> config = LiveConfig(m_path);
    ASSERT_TRUE(config);
    const std::string said = config->Prepare(NULL);
    EXPECT_NE(said.find("cannot open " + m_path), std::string::npos) << said;
    Rewrite(m_path, Seconds(2.0, FIRST_PCR));
    uint64_t pcr = 0;
    std::string error;
    EXPECT_TRUE(FirstPcr(*config, &pcr, &error)) << error;
}

TEST_F(LiveFileSource, ARecordingWithoutPcrsIsRefusedAtTheStartAndAtEachVisit)
{
    m_path = TempFileWith(PacketsWithoutPcr(1000));
    const std::unique_ptr<SourceConfig> config = LiveConfig(m_path);
    ASSERT_TRUE(config);
    EXPECT_NE(config->Prepare(NULL).find("no PCR"), std::string::npos);
    for (int visit = 0; visit < 2; ++visit) {
        uint64_t pcr = 0;
        std::string error;
        EXPECT_FALSE(FirstPcr(*config, &pcr, &error));
        EXPECT_NE(error.find("no PCR"), std::string::npos) << "visit " << visit << ": " << error;
    }
}

// Without live, a visit at any time starts at the first packet, as before.
TEST_F(LiveFileSource, APlainLoopStillStartsEachVisitAtTheBeginning)
{
    m_path = TempFileWith(Seconds(2.0, OTHER_FIRST_PCR));
    std::string why;
    const std::unique_ptr<SourceConfig> config = ParseFileSource("file:" + m_path + "?loop", &why);
    ASSERT_TRUE(config) << why;
    EXPECT_EQ(config->Prepare(NULL), "");
    for (int visit = 0; visit < 2; ++visit) {
        uint64_t pcr = 0;
        std::string error;
        ASSERT_TRUE(FirstPcr(*config, &pcr, &error)) << error;
        EXPECT_EQ(pcr, OTHER_FIRST_PCR) << "visit " << visit;
        Sleep(BETWEEN_VISITS_MS);
    }
}
