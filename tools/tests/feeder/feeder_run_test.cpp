// The feeder as a child process, met by a host in the test's own process that
// loads the shipped driver and switches among the feeder's channels.
#include <gtest/gtest.h>
#include <windows.h>

#include <sddl.h>

#include <algorithm>
#include <cstdio>

#include "feeder_child.h"
#include "feeder_streams.h"
#include "switching_host.h"
#include "test_pipe.h"
#include "ts_check.h"
#include "wait_until.h"

namespace {

const double VISIT_LIMIT_SECONDS = 20.0;
const double SHORT_VISIT_SECONDS = 2.5;
const size_t CMD_VISIT_BYTES = 300000;
// A program the feeder fails to end lives on for ever (or, idle, until the 10 s silence
// limit); one it ends is gone in tens of ms plus what Wine and a loaded machine add.
const DWORD  PROGRAM_GONE_LIMIT_MS = 2000;
const DWORD  GONE_DEADLINE_MS = 5000;
const DWORD  EXIT_DEADLINE_MS = 20000;
const double PACED_SECONDS = 10.0;
const double PACED_VISIT_SECONDS = 11.5;
const double RATE_TOLERANCE = 0.02;
// Half the pacer's 1 s beyond which it stops catching up: a broken loop seam stalls or
// bursts for the clip's PCR span (3 s); a loaded machine's stall is a few tenths at most.
const double GAP_OR_BURST_LIMIT_SECONDS = 0.500;
const double BITS_PER_BYTE = 8.0;
const DWORD  RING_HIGH_WATER_BLOCKS = 70;     // the driver stops reading with this many untaken
const DWORD  RING_FILL_LIMIT_MS = 20000;
const size_t RING_BLOCK_BYTES = 48128;
const size_t HELD_AND_MORE_BYTES = 2 * RING_HIGH_WATER_BLOCKS * RING_BLOCK_BYTES;  // the flow went on past the hold
const DWORD  UNGATED_FIND_LIMIT_MS = 5000;    // the feeder looks every quarter second then
const size_t TS_BYTES_WANTED = 100 * 188;
const DWORD  BUSY_HELD_MS = 1500;       // three times the feeder's wait before it calls a pipe busy
// A departure is seen in 20 ms; the fault is one never seen, or seen at the next write only.
const DWORD  HOST_LEFT_NOTICE_MS = 2000;
const char   HOST_SECONDS[] = "120";    // the host process runs until the test kills it
const DWORD  DENIED_HELD_MS = 1500;     // six of the feeder's looks without a host's mutex
const char   DENIED_SAID[] = "access denied to the host's pipe: run the feeder as the same user, or with the same "
                             "rights, as the host";
const wchar_t READ_ONLY_DACL[] = L"D:P(A;;GR;;;WD)";   // everyone may read; nobody may write

::testing::AssertionResult IsStreamOf(const Recording& recording, const TsReport& source)
{
    const TsReport got = CheckTransportStream(recording.bytes);
    if (got.packets == 0)
        return ::testing::AssertionFailure() << "nothing arrived";
    if (got.strayBytes != 0)
        return ::testing::AssertionFailure() << got.strayBytes << " bytes outside whole packets";
    if (got.continuityErrors != 0)
        return ::testing::AssertionFailure() << got.continuityErrors << " continuity errors, first " << got.firstError;
    for (uint16_t pid : got.pids)
        if (source.pids.count(pid) == 0)
            return ::testing::AssertionFailure() << "PID " << pid << " is not the source's (" << PidList(source.pids) << ")";
    return ::testing::AssertionSuccess() << got.packets << " packets of " << PidList(got.pids);
}

// Milliseconds from `start` until the emitter's event has gone, or about GONE_DEADLINE_MS.
DWORD MillisecondsUntilGone(const std::string& eventName, const LARGE_INTEGER& start)
{
    WaitUntil([&] { return !EmitterAlive(eventName); }, GONE_DEADLINE_MS);
    return static_cast<DWORD>(SecondsSince(start) * 1000.0);
}

// A host in a process of its own, selecting `channel` and draining it until killed.
bool StartHostProcess(ChildProcess* host, uint32_t channel)
{
    return host->Start(ZELMOOR_HOST_EXE, {"--dll", ZELMOOR_TEST_DRIVER, "--channel", std::to_string(channel),
                                          "--seconds", HOST_SECONDS});
}

class FeederRun : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_host.Load()) << m_host.Error(); }
    void TearDown() override { m_feeder.Kill(); }

    Recording Visit(uint32_t channel, double seconds, size_t bytes = 0)
    {
        EXPECT_TRUE(m_host.Select(channel)) << m_host.Error();
        return m_host.Drain(seconds, [bytes](const Recording& r) { return bytes > 0 && r.bytes.size() >= bytes; });
    }

    // A killed host closes its end of the pipe without a disconnect: the channel,
    // idle in the state the host process saw `reached`, must still see it go.
    void KillHostProcessOnce(uint32_t channel, const std::string& reached)
    {
        ChildProcess host;
        ASSERT_TRUE(StartHostProcess(&host, channel));
        ASSERT_TRUE(m_feeder.WaitForOutput(reached));
        const size_t before = m_feeder.Output().size();
        LARGE_INTEGER killed;
        QueryPerformanceCounter(&killed);
        EXPECT_EQ(host.Wait(0), static_cast<DWORD>(ChildProcess::STILL_RUNNING)) << "the host process ended by itself:\n" << host.Output();
        const std::string left = "channel " + std::to_string(channel) + ": host left";
        EXPECT_TRUE(WaitUntil([&] { return m_feeder.Output().find(left, before) != std::string::npos; },
                              HOST_LEFT_NOTICE_MS))
            << "the killed host was not noticed within " << HOST_LEFT_NOTICE_MS << " ms:\n" << m_feeder.Output();
        std::printf("a killed host was seen to leave within %.0f ms (output polled from a file)\n",
                    SecondsSince(killed) * 1000.0);
    }

    ::testing::AssertionResult RingFills()
    {
        if (WaitUntil([&] { return m_host.ReadyCount() >= RING_HIGH_WATER_BLOCKS; }, RING_FILL_LIMIT_MS))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "the ring held only " << m_host.ReadyCount() << " blocks after "
                                             << RING_FILL_LIMIT_MS << " ms:\n" << m_feeder.Output();
    }

    SwitchingHost   m_host;
    FeederChild     m_feeder;
};

TEST_F(FeederRun, AKilledHostOfAnEndedChannelIsNoticedAndTheNextHostGetsTheFileAgain)
{
    const std::string a = StreamPath("clip_a.ts");
    const std::vector<uint8_t> fileA = ReadWholeFile(a);
    ASSERT_TRUE(m_feeder.Start({"5=file:" + a + "?pace=none"}));
    KillHostProcessOnce(5, "channel 5: source ended");
    const Recording next = Visit(5, VISIT_LIMIT_SECONDS, fileA.size());
    EXPECT_TRUE(next.bytes == fileA) << next.bytes.size() << " bytes against the file's " << fileA.size() << ":\n"
                                     << m_feeder.Output();
}

TEST_F(FeederRun, AKilledHostOfAChannelWhoseSourceIsDownIsNoticed)
{
    ASSERT_TRUE(m_feeder.Start({"4=file:no-such-recording.ts"}));
    KillHostProcessOnce(4, "channel 4: source down");
    ASSERT_TRUE(m_host.Select(4)) << m_host.Error();
    const auto selectedTwice = [&] {
        const std::string output = m_feeder.Output();
        const std::string line = "channel 4: host selected the channel";
        return output.find(line) != output.rfind(line);
    };
    EXPECT_TRUE(WaitUntil(selectedTwice, FEEDER_LINE_TIMEOUT_MS)) << "the next host was not taken up:\n"
                                                                  << m_feeder.Output();
    m_host.Leave();
}

TEST_F(FeederRun, AHostSwitchingAmongChannelsGetsEachChannelsOwnStream)
{
    const std::string a = StreamPath("clip_a.ts"), b = StreamPath("clip_b.ts"), c = StreamPath("clip_c.ts");
    const std::vector<uint8_t> fileA = ReadWholeFile(a);
    const std::string emitter = UniqueName("switch");
    ASSERT_TRUE(m_feeder.Start({"0=file:" + a + "?pace=none", "1=file:" + b + "?loop", "2=" + EmitterSource(c, emitter)}));

    const Recording first = Visit(0, VISIT_LIMIT_SECONDS, fileA.size());
    EXPECT_TRUE(first.bytes == fileA) << first.bytes.size() << " bytes against the file's " << fileA.size();
    std::printf("first data %.0f ms after selecting, the feeder started just before\n",
                first.arrivals.empty() ? -1.0 : first.arrivals[0].seconds * 1000.0);

    EXPECT_TRUE(IsStreamOf(Visit(1, SHORT_VISIT_SECONDS), CheckTransportStream(ReadWholeFile(b))));
    EXPECT_TRUE(IsStreamOf(Visit(2, VISIT_LIMIT_SECONDS, CMD_VISIT_BYTES), CheckTransportStream(ReadWholeFile(c))));

    const Recording again = Visit(0, VISIT_LIMIT_SECONDS, fileA.size());
    EXPECT_TRUE(again.bytes == fileA) << "coming back restarts the file: " << again.bytes.size() << " bytes";
    m_host.Leave();
    EXPECT_TRUE(m_feeder.WaitForOutput("channel 0: host left; source closed"));
}

TEST_F(FeederRun, AHostLeavingEndsTheProgramAtOnceWhetherItIsWritingOrIdle)
{
    const std::string c = StreamPath("clip_c.ts");
    const size_t clipBytes = ReadWholeFile(c).size();
    const std::string emitter = UniqueName("leave");
    ASSERT_TRUE(m_feeder.Start({"2=" + EmitterSource(c, emitter)}));

    const Recording writing = Visit(2, VISIT_LIMIT_SECONDS, CMD_VISIT_BYTES / 3);
    ASSERT_GE(writing.bytes.size(), CMD_VISIT_BYTES / 3);
    ASSERT_LT(writing.bytes.size(), clipBytes) << "the program should still be writing";
    ASSERT_TRUE(EmitterAlive(emitter));
    LARGE_INTEGER left;
    QueryPerformanceCounter(&left);
    m_host.Leave();
    const DWORD midStreamMs = MillisecondsUntilGone(emitter, left);

    const Recording idle = Visit(2, VISIT_LIMIT_SECONDS, clipBytes);
    ASSERT_EQ(idle.bytes.size(), clipBytes) << "the whole clip, then the program idles";
    ASSERT_TRUE(EmitterAlive(emitter));
    QueryPerformanceCounter(&left);
    m_host.Leave();
    const DWORD idleMs = MillisecondsUntilGone(emitter, left);

    std::printf("program gone %lu ms after the host began to leave mid-stream, %lu ms after it began to"
                " leave an idle source\n",
                midStreamMs, idleMs);
    EXPECT_LT(midStreamMs, PROGRAM_GONE_LIMIT_MS);
    EXPECT_LT(idleMs, PROGRAM_GONE_LIMIT_MS);
}

TEST_F(FeederRun, APcrPacedLoopArrivesAtItsPcrRateWithoutGapOrBurst)
{
    const std::string b = StreamPath("clip_b.ts");
    const TsReport file = CheckTransportStream(ReadWholeFile(b));
    const double bitsPerSecond = PcrBitRate(file);
    ASSERT_GT(bitsPerSecond, 0.0);
    ASSERT_TRUE(m_feeder.Start({"1=file:" + b + "?loop"}));

    const Recording paced = Visit(1, PACED_VISIT_SECONDS + 5.0, 0);
    ASSERT_FALSE(paced.arrivals.empty());
    EXPECT_TRUE(IsStreamOf(paced, file));
    // From the first block on: the bytes of the next 10 s, and how far the arrivals
    // ran ahead of or behind an even flow at the PCR rate.
    const double start = paced.arrivals[0].seconds;
    uint64_t bytes = 0;
    double largestGap = 0.0, mostAhead = 0.0, mostBehind = 0.0;
    for (size_t i = 1; i < paced.arrivals.size() && paced.arrivals[i].seconds - start <= PACED_SECONDS; ++i) {
        bytes += paced.arrivals[i].bytes;
        const double t = paced.arrivals[i].seconds;
        largestGap = std::max(largestGap, t - paced.arrivals[i - 1].seconds);
        const double ahead = bytes * BITS_PER_BYTE / bitsPerSecond - (t - start);
        mostAhead = std::max(mostAhead, ahead);
        mostBehind = std::min(mostBehind, ahead);
    }
    const double measured = bytes * BITS_PER_BYTE / PACED_SECONDS;
    std::printf("PCR rate %.0f bit/s, arrived at %.0f bit/s (%+.2f %%); largest gap %.0f ms; "
                "ahead of an even flow by up to %.0f ms, behind by up to %.0f ms\n",
                bitsPerSecond, measured, (measured / bitsPerSecond - 1.0) * 100.0, largestGap * 1000.0,
                mostAhead * 1000.0, -mostBehind * 1000.0);
    EXPECT_NEAR(measured / bitsPerSecond, 1.0, RATE_TOLERANCE);
    EXPECT_LE(largestGap, GAP_OR_BURST_LIMIT_SECONDS);
    EXPECT_LE(mostAhead - mostBehind, GAP_OR_BURST_LIMIT_SECONDS);
}

TEST_F(FeederRun, AProgramsChildrenEndWithItWhenTheHostLeaves)
{
    const std::string emitter = UniqueName("parent");
    const std::string c = StreamPath("clip_c.ts");
    ASSERT_TRUE(m_feeder.Start({"2=" + EmitterSource(c, emitter) + " parent"}));
    // The whole clip, written by the child, which then idles: only the job can end it now.
    ASSERT_EQ(Visit(2, VISIT_LIMIT_SECONDS, ReadWholeFile(c).size()).bytes.size(), ReadWholeFile(c).size());
    ASSERT_TRUE(EmitterAlive(emitter));
    ASSERT_TRUE(EmitterAlive(emitter + "-child"));
    LARGE_INTEGER left;
    QueryPerformanceCounter(&left);
    m_host.Leave();
    EXPECT_LT(MillisecondsUntilGone(emitter, left), GONE_DEADLINE_MS);
    EXPECT_LT(MillisecondsUntilGone(emitter + "-child", left), GONE_DEADLINE_MS);
}

TEST_F(FeederRun, AKilledFeederLeavesNoProgramBehind)
{
    const std::string emitter = UniqueName("kill");
    const std::string c = StreamPath("clip_c.ts");
    ASSERT_TRUE(m_feeder.Start({"2=" + EmitterSource(c, emitter)}));
    // The whole clip first: a program that still writes would end by itself on the broken pipe.
    ASSERT_EQ(Visit(2, VISIT_LIMIT_SECONDS, ReadWholeFile(c).size()).bytes.size(), ReadWholeFile(c).size());
    ASSERT_TRUE(EmitterAlive(emitter));
    LARGE_INTEGER killed;
    QueryPerformanceCounter(&killed);
    m_feeder.Kill();
    EXPECT_LT(MillisecondsUntilGone(emitter, killed), GONE_DEADLINE_MS) << "the job object should end the program";
}

TEST_F(FeederRun, AnEndedRunClosesItsSourcesAndSummarisesEachChannel)
{
    const std::string emitter = UniqueName("stop");
    ASSERT_TRUE(m_feeder.Start({"--seconds", "4", "2=" + EmitterSource(StreamPath("clip_c.ts"), emitter),
                                "6=file:no-such-recording.ts"}));
    ASSERT_TRUE(m_feeder.WaitForOutput("channel 2: watching for a host"));
    ASSERT_GT(Visit(2, VISIT_LIMIT_SECONDS, CMD_VISIT_BYTES / 3).bytes.size(), 0u);
    EXPECT_EQ(m_feeder.Wait(EXIT_DEADLINE_MS), 0u) << m_feeder.Output();
    EXPECT_FALSE(EmitterAlive(emitter));
    const std::string output = m_feeder.Output();
    EXPECT_NE(output.find("channel 2: stopped; source closed"), std::string::npos) << output;
    EXPECT_NE(output.find("summary after"), std::string::npos) << output;
    EXPECT_NE(output.find("channel 2: visits 1, delivered "), std::string::npos) << output;
    EXPECT_NE(output.find("channel 6: visits 0, delivered 0 bytes"), std::string::npos) << output;
}

TEST_F(FeederRun, VisitsLeftMidFileCountNoSkippedBytesForACleanRecording)
{
    // Two visits of 2.5 s fit its time well: the summary must count both.
    ASSERT_TRUE(m_feeder.Start({"--seconds", "9", "1=file:" + StreamPath("clip_b.ts") + "?loop"}));
    ASSERT_TRUE(m_feeder.WaitForOutput("channel 1: watching for a host"));
    for (int visit = 0; visit < 2; ++visit)
        ASSERT_GT(Visit(1, SHORT_VISIT_SECONDS).bytes.size(), 0u);
    m_host.Leave();
    EXPECT_EQ(m_feeder.Wait(EXIT_DEADLINE_MS), 0u) << m_feeder.Output();
    const std::string output = m_feeder.Output();
    EXPECT_NE(output.find("channel 1: visits 2, delivered "), std::string::npos) << output;
    EXPECT_NE(output.find("drops 0, skipped 0 bytes"), std::string::npos) << output;
}

TEST_F(FeederRun, SourceTroubleIsSaidWithItsReasonAndRetriedLaterEachTime)
{
    ASSERT_TRUE(m_feeder.Start({"4=file:no-such-recording.ts"}));
    ASSERT_TRUE(m_host.Select(4)) << m_host.Error();
    EXPECT_TRUE(m_feeder.WaitForOutput("channel 4: source down: cannot open no-such-recording.ts (error 2: "));
    EXPECT_TRUE(m_feeder.WaitForOutput("; retrying in 1 s"));
    EXPECT_TRUE(m_feeder.WaitForOutput("; retrying in 2 s"));
    EXPECT_TRUE(m_feeder.WaitForOutput("; retrying in 4 s"));
    m_host.Leave();
    EXPECT_TRUE(m_feeder.WaitForOutput("channel 4: host left"));
}

TEST_F(FeederRun, AStalledHostHoldsTheSourceBackAndItsLeavingIsNoticedAtOnce)
{
    const std::string a = StreamPath("clip_a.ts");
    ASSERT_TRUE(m_feeder.Start({"0=file:" + a + "?pace=none&loop"}));
    ASSERT_TRUE(m_host.Select(0)) << m_host.Error();
    ASSERT_TRUE(m_feeder.WaitForOutput("channel 0: streaming"));
    // The host takes nothing: the driver stops reading at its high water, and the feeder's write blocks.
    ASSERT_TRUE(RingFills());
    const Recording resumed = m_host.Drain(VISIT_LIMIT_SECONDS,
                                           [](const Recording& r) { return r.bytes.size() >= HELD_AND_MORE_BYTES; });
    EXPECT_GE(resumed.bytes.size(), HELD_AND_MORE_BYTES) << "the source did not go on once the host took again";
    EXPECT_TRUE(IsStreamOf(resumed, CheckTransportStream(ReadWholeFile(a)))) << "nothing lost or cut while held back";

    ASSERT_TRUE(RingFills());
    const size_t before = m_feeder.Output().size();
    LARGE_INTEGER left;
    QueryPerformanceCounter(&left);
    m_host.Leave();
    const std::string line = "channel 0: host left; source closed";
    EXPECT_TRUE(WaitUntil([&] { return m_feeder.Output().find(line, before) != std::string::npos; },
                          HOST_LEFT_NOTICE_MS))
        << "the stalled host's leaving was not seen within " << HOST_LEFT_NOTICE_MS << " ms:\n" << m_feeder.Output();
    std::printf("a stalled host's leaving was seen within %.0f ms (output polled from a file)\n",
                SecondsSince(left) * 1000.0);
}

TEST_F(FeederRun, StoppingWhileAWriteIsBlockedAbandonsItAndEndsCleanly)
{
    ASSERT_TRUE(m_feeder.Start({"--seconds", "5", "0=file:" + StreamPath("clip_a.ts") + "?pace=none&loop"}));
    ASSERT_TRUE(m_host.Select(0)) << m_host.Error();
    EXPECT_EQ(m_feeder.Wait(EXIT_DEADLINE_MS), 0u) << m_feeder.Output();
    EXPECT_NE(m_feeder.Output().find("channel 0: stopped; source closed"), std::string::npos) << m_feeder.Output();
    m_host.Leave();
}

TEST_F(FeederRun, AProgramThatExitsIsSaidWithItsCodeAndStartedAgain)
{
    const std::string emitter = UniqueName("exit");
    ASSERT_TRUE(m_feeder.Start({"2=" + EmitterSource(StreamPath("clip_c.ts"), emitter) + " exit"}));
    ASSERT_TRUE(m_host.Select(2)) << m_host.Error();
    EXPECT_TRUE(m_feeder.WaitForOutput("channel 2: source down: the program exited with code 0; retrying in 1 s"));
    EXPECT_TRUE(m_feeder.WaitForOutput("channel 2: source back; streaming"));
    m_host.Leave();
}

TEST_F(FeederRun, APipeHeldByAnotherWriterIsSaidOnceAndTakenWhenFree)
{
    ASSERT_TRUE(m_host.Select(7)) << m_host.Error();
    HANDLE other = CreateFileW(PipeName(7).c_str(), GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(other, INVALID_HANDLE_VALUE) << "the test's own writer could not connect";
    ASSERT_TRUE(m_feeder.Start({"7=file:" + StreamPath("clip_a.ts") + "?pace=none"}));
    EXPECT_TRUE(m_feeder.WaitForOutput("channel 7: pipe busy: another writer holds it"));
    const auto saidAgain = [&] {
        const std::string output = m_feeder.Output();
        return output.find("pipe busy") != output.rfind("pipe busy");
    };
    EXPECT_FALSE(WaitUntil(saidAgain, BUSY_HELD_MS)) << "said once only:\n" << m_feeder.Output();
    CloseHandle(other);     // the driver listens again, and the feeder takes the pipe
    EXPECT_TRUE(m_feeder.WaitForOutput("channel 7: host selected the channel"));
    m_host.Leave();
}

// Only readers may open an outbound pipe, so a writer gets access denied, as a
// host's pipe answers a feeder with fewer rights than the host.
TEST_F(FeederRun, APipeThatRefusesTheFeederIsSaidOnceWithWhatToDo)
{
    HANDLE pipe = CreateNamedPipeW(PipeName(4).c_str(), PIPE_ACCESS_OUTBOUND, 0, 1, 0, 0, 0, NULL);
    ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(m_feeder.Start({"4=file:" + StreamPath("clip_a.ts") + "?pace=none"}));
    EXPECT_TRUE(m_feeder.WaitForOutput(std::string("channel 4: ") + DENIED_SAID));
    const auto saidAgain = [&] {
        const std::string output = m_feeder.Output();
        return output.find("access denied") != output.rfind("access denied");
    };
    EXPECT_FALSE(WaitUntil(saidAgain, DENIED_HELD_MS)) << "said once only:\n" << m_feeder.Output();
    CloseHandle(pipe);
    EXPECT_TRUE(m_feeder.WaitForOutput("channel 4: the refusing pipe has gone; watching"));
}

// The same refusal through the pipe's DACL, as an elevated host's pipe has it.
TEST_F(FeederRun, APipeWhoseDaclRefusesWritersIsSaidWithWhatToDo)
{
    PSECURITY_DESCRIPTOR sd = NULL;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(READ_ONLY_DACL, SDDL_REVISION_1, &sd, NULL));
    SECURITY_ATTRIBUTES security = {sizeof security, sd, FALSE};
    HANDLE pipe = CreateNamedPipeW(PipeName(4).c_str(), PIPE_ACCESS_INBOUND, 0, 1, 0, 0, 0, &security);
    LocalFree(sd);
    ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
    HANDLE writer = CreateFileW(PipeName(4).c_str(), GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    if (writer != INVALID_HANDLE_VALUE) {
        CloseHandle(writer);
        CloseHandle(pipe);
        GTEST_SKIP() << "this system (Wine) does not check a pipe's DACL when it is opened";
    }
    ASSERT_TRUE(m_feeder.Start({"4=file:" + StreamPath("clip_a.ts") + "?pace=none"}));
    EXPECT_TRUE(m_feeder.WaitForOutput(std::string("channel 4: ") + DENIED_SAID));
    CloseHandle(pipe);
}

// A host in another session makes its pipe without a mutex this session can see.
TEST_F(FeederRun, APipeWhoseHostShowsNoInUseMutexIsStillFound)
{
    TestPipe pipe(6);
    ASSERT_TRUE(pipe.IsOpen());
    ASSERT_FALSE(InUseMutexExists()) << "no driver may have a channel open here";
    ASSERT_TRUE(m_feeder.Start({"6=file:" + StreamPath("clip_a.ts") + "?pace=none"}));
    EXPECT_TRUE(pipe.WaitForWriter(UNGATED_FIND_LIMIT_MS)) << m_feeder.Output();
    EXPECT_TRUE(pipe.ReadSome(TS_BYTES_WANTED, UNGATED_FIND_LIMIT_MS)) << m_feeder.Output();
}

TEST_F(FeederRun, BadInputEndsTheRunBeforeAnythingStarts)
{
    FeederChild usage;
    ASSERT_TRUE(usage.Start({"3=file:a.ts", "12=file:b.ts"}));
    EXPECT_EQ(usage.Wait(EXIT_DEADLINE_MS), 2u);
    EXPECT_NE(usage.Output().find("argument 2 '12=file:b.ts': channel '12' is out of range"), std::string::npos)
        << usage.Output();
    EXPECT_EQ(usage.Output().find("watching"), std::string::npos) << "nothing may have started";

    FeederChild map;
    ASSERT_TRUE(map.Start({"--map", "no-such-map.txt"}));
    EXPECT_EQ(map.Wait(EXIT_DEADLINE_MS), 3u);
    EXPECT_NE(map.Output().find("cannot read the map file no-such-map.txt"), std::string::npos) << map.Output();
}

} // namespace
