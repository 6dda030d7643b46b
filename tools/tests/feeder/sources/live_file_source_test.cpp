// The live file source in-process: it enters by the feeder's one clock, indexes a
// file again once it was replaced, finds a file that was missing at the start, and
// refuses a recording without PCRs at the start and at each visit, saying why.
#include <gtest/gtest.h>
#include <windows.h>

#include <cmath>
#include <fstream>

#include "feeder_clock.h"
#include "live_index.h"
#include "live_recording.h"
#include "source_kinds.h"
#include "synthetic_ts.h"
#include "ts_packet.h"
#include "win32_play_file.h"

namespace {

const size_t   PACKETS_PER_SECOND = 500;
const size_t   PCR_EVERY = 20;
const double   PCR_INTERVAL_SECONDS = 0.04;
const uint64_t PCR_STEP = static_cast<uint64_t>(PCR_INTERVAL_SECONDS * PCR_TICKS_PER_SECOND);
const uint64_t FIRST_PCR = 0;
const uint64_t OTHER_FIRST_PCR = 1000 * PCR_TICKS_PER_SECOND;     // tells the second version from the first
// The promise: an entry lies at most 0.1 s and one PCR interval before its moment.
const double   ENTRY_LAG_SECONDS = 0.1 + PCR_INTERVAL_SECONDS;
const DWORD    READ_WAIT_MS = 200;
const size_t   PACKETS_WITHOUT_PCR = 1000;
const DWORD    BETWEEN_VISITS_MS = 300;       // a live play would have moved on by then
const double   MID_LOOP_SECONDS = 1.0;
const DWORD    MID_LOOP_POLL_MS = 20;

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

// Waits until the feeder clock's place in the loop is a second or more from its seam,
// where an entry at the recording's beginning would be plainly wrong.
void WaitForMidLoop(double loopSeconds)
{
    for (;;) {
        const double place = std::fmod(SecondsSinceFeederStart(), loopSeconds);
        if (place >= MID_LOOP_SECONDS && place <= loopSeconds - MID_LOOP_SECONDS)
            return;
        Sleep(MID_LOOP_POLL_MS);
    }
}

// How far the entry lags the feeder clock's place in the loop, that clock read just before the visit.
::testing::AssertionResult EntersOnTime(const SourceConfig& config, double loopSeconds, uint64_t firstPcr)
{
    WaitForMidLoop(loopSeconds);
    const double before = SecondsSinceFeederStart();
    uint64_t pcr = 0;
    std::string error;
    if (!FirstPcr(config, &pcr, &error))
        return ::testing::AssertionFailure() << error;
    const double after = SecondsSinceFeederStart();
    const double entered = static_cast<double>(pcr - firstPcr) / PCR_TICKS_PER_SECOND;
    const double lag = std::remainder(std::fmod(before, loopSeconds) - entered, loopSeconds);
    // Read before the visit, the clock is behind the entry's moment by at most the visit's own time.
    if (lag >= -(after - before) && lag <= ENTRY_LAG_SECONDS)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "entered " << entered << " s into the recording at " << before
                                         << " s after the start, a loop of " << loopSeconds << " s, the visit taking "
                                         << after - before << " s";
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
        EXPECT_TRUE(EntersOnTime(*config, loop, FIRST_PCR)) << "visit " << visit;
        Sleep(BETWEEN_VISITS_MS);
    }
}

TEST_F(LiveFileSource, AReplacedFileIsIndexedAgainAtTheNextVisit)
{
    m_path = TempFileWith(Seconds(4.0, FIRST_PCR));
    const std::unique_ptr<SourceConfig> config = LiveConfig(m_path);
    ASSERT_TRUE(config);
    config->Prepare(NULL);
    Rewrite(m_path, Seconds(3.0, OTHER_FIRST_PCR));
    EXPECT_TRUE(EntersOnTime(*config, 3.0, OTHER_FIRST_PCR));
}

// A visit plays the file it opened: its index comes from that file, not from what the path names by then.
TEST_F(LiveFileSource, AFileReplacedBetweenTheVisitsOpenAndItsIndexIsIndexedFromTheOpenFile)
{
    m_path = TempFileWith(Seconds(4.0, FIRST_PCR));
    LiveRecording recording(m_path);
    Win32PlayFile opened;
    ASSERT_TRUE(opened.Open(m_path));
    // Moved aside and a new file put in its place: Wine refuses a rename over an open file.
    const std::string aside = m_path + ".old";
    ASSERT_TRUE(MoveFileA(m_path.c_str(), aside.c_str())) << GetLastError();
    Rewrite(m_path, Seconds(3.0, OTHER_FIRST_PCR));
    std::string why;
    const std::shared_ptr<const LiveIndex> index = recording.IndexFor(&opened, &why);
    EXPECT_NEAR(index ? index->LoopSeconds() : 0.0, 4.0, PCR_INTERVAL_SECONDS) << why;
    opened.Close();
    DeleteFileA(aside.c_str());
}

TEST_F(LiveFileSource, AFileMissingAtTheStartIsIndexedAtTheFirstVisitThatFindsIt)
{
    m_path = TempFileWith({});
    DeleteFileA(m_path.c_str());
    const std::unique_ptr<SourceConfig> config = LiveConfig(m_path);
    ASSERT_TRUE(config);
    const std::string said = config->Prepare(NULL);
    EXPECT_NE(said.find("cannot open " + m_path), std::string::npos) << said;
    Rewrite(m_path, Seconds(3.0, FIRST_PCR));
    EXPECT_TRUE(EntersOnTime(*config, 3.0, FIRST_PCR));
}

// The feeder stopping while a channel indexes: the scan gives up and says nothing;
// a visit made anyway says it was stopped rather than enter by no index.
TEST_F(LiveFileSource, AStopDuringIndexingEndsItWithoutAnIndex)
{
    m_path = TempFileWith(Seconds(4.0, FIRST_PCR));
    const std::unique_ptr<SourceConfig> config = LiveConfig(m_path);
    ASSERT_TRUE(config);
    const HANDLE hStop = CreateEventW(NULL, TRUE, TRUE, NULL);
    ASSERT_NE(hStop, static_cast<HANDLE>(NULL));
    EXPECT_EQ(config->Prepare(hStop), "");
    uint64_t pcr = 0;
    std::string error;
    EXPECT_FALSE(FirstPcr(*config, &pcr, &error));
    EXPECT_NE(error.find("stopped while indexing"), std::string::npos) << error;
    CloseHandle(hStop);
}

TEST_F(LiveFileSource, ARecordingWithoutPcrsIsRefusedAtTheStartAndAtEachVisit)
{
    m_path = TempFileWith(PacketsWithoutPcr(PACKETS_WITHOUT_PCR));
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
