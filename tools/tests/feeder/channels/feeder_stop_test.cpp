// Stopping the feeder: a second Ctrl+C ends it at once, and a channel whose
// source will not close holds the stop no longer than its bound and is named.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "channel_roster.h"
#include "channel_worker.h"
#include "console_stop.h"
#include "driver_gate.h"
#include "feeder_stop.h"
#include "text_screen.h"
#include "status_board.h"
#include "test_pipe.h"
#include "wait_until.h"

namespace {

const uint32_t HUNG_CHANNEL = 8;
const uint32_t QUIET_CHANNEL = 9;       // no host: its worker only watches
const DWORD    OPEN_DEADLINE_MS = 5000; // without the driver's mutex a pipe is looked for every quarter second
const DWORD    STOP_BOUND_MS = 500;
const DWORD    LOADED_MACHINE_MARGIN_MS = 1000;
const DWORD    LINE_DEADLINE_MS = 5000;
const DWORD    WATCHDOG_MS = 10000;
const DWORD    NOT_STARTED_WAIT_MS = 1000;  // a worker that starts says so within milliseconds     // far beyond the bound and its margin
const size_t   SCREEN_COLUMNS = 200;
const char     HELD_LINE[] = "channel 8: still stopping after 0.5 s";

// Events that make a source's Close hang until the test lets it go.
struct Hang {
    HANDLE opened = CreateEventW(NULL, TRUE, FALSE, NULL);
    HANDLE release = CreateEventW(NULL, TRUE, FALSE, NULL);
    ~Hang()
    {
        CloseHandle(opened);
        CloseHandle(release);
    }
};

// A source stuck in the system on Close, as a driver or a network stack can be.
class HangingSource : public Source {
public:
    explicit HangingSource(const Hang* hang) : m_hang(hang) {}
    bool Open() override { return SetEvent(m_hang->opened) != FALSE; }
    ReadResult Read(uint8_t*, size_t, DWORD waitMs) override
    {
        Sleep(waitMs);  // nothing arrives; waits as long as asked, as every source does
        return ReadResult();
    }
    void Close() override { WaitForSingleObject(m_hang->release, INFINITE); }

private:
    const Hang* m_hang;
};

class HangingConfig : public SourceConfig {
public:
    explicit HangingConfig(const Hang* hang) : m_hang(hang) {}
    std::unique_ptr<Source> Create() const override { return std::unique_ptr<Source>(new HangingSource(m_hang)); }
    const std::string& Text() const override { return m_text; }

private:
    const Hang*         m_hang;
    const std::string   m_text = "test:hanging";
};

struct Event {
    HANDLE h = CreateEventW(NULL, TRUE, FALSE, NULL);
    ~Event() { CloseHandle(h); }
};

// Stops the workers and lets a hung Close go on leaving scope, so that no failed
// check leaves a thread stuck.
struct ReleaseOnExit {
    HANDLE stop;
    HANDLE release;
    ~ReleaseOnExit()
    {
        SetEvent(stop);
        SetEvent(release);
    }
};

// Lets a hung Close go after a while, so that a stop that waits for it without
// bound fails the test by its time instead of hanging it.
class ReleaseLater {
public:
    ReleaseLater(HANDLE release, DWORD afterMs)
    {
        CreateTimerQueueTimer(&m_hTimer, NULL, [](void* event, BOOLEAN) { SetEvent(event); }, release, afterMs, 0,
                              WT_EXECUTEONLYONCE);
    }
    ~ReleaseLater()
    {
        if (m_hTimer != NULL)
            DeleteTimerQueueTimer(NULL, m_hTimer, INVALID_HANDLE_VALUE);
    }

private:
    HANDLE m_hTimer = NULL;
};

ChannelMapping Mapping(uint32_t channel, std::shared_ptr<SourceConfig> source)
{
    ChannelMapping mapping;
    mapping.channel = channel;
    mapping.source = std::move(source);
    return mapping;
}

TEST(FeederStop, AChannelWhoseSourceWillNotCloseHoldsTheStopOnlyUntilItsBoundAndIsNamed)
{
    Hang hang;
    const Event stopEvent;
    const HANDLE stop = stopEvent.h;
    const std::vector<ChannelMapping> mappings = {Mapping(HUNG_CHANNEL, std::make_shared<HangingConfig>(&hang)),
                                                  Mapping(QUIET_CHANNEL, std::make_shared<HangingConfig>(&hang))};
    TextScreen* screen = new TextScreen(SCREEN_COLUMNS);
    StatusBoard board(mappings, std::unique_ptr<BoardScreen>(screen));
    ASSERT_TRUE(board.Start());
    DriverGate gate;
    ASSERT_TRUE(gate.Start(stop));
    TestPipe pipe(HUNG_CHANNEL);
    ASSERT_TRUE(pipe.IsOpen());
    std::vector<std::unique_ptr<ChannelWorker>> workers;
    std::unique_ptr<ChannelWorker> kept;    // a worker handed back as held
    const ReleaseOnExit releaseOnExit{stop, hang.release};
    for (const ChannelMapping& mapping : mappings) {
        workers.emplace_back(new ChannelWorker(mapping, &board, &gate, stop));
        ASSERT_TRUE(workers.back()->Start());
    }
    ASSERT_EQ(WaitForSingleObject(hang.opened, OPEN_DEADLINE_MS), WAIT_OBJECT_0) << "the worker never opened the source";

    const ReleaseLater watchdog(hang.release, WATCHDOG_MS);
    SetEvent(stop);
    const ULONGLONG start = GetTickCount64();
    const std::vector<ChannelWorker*> held = JoinWorkers(&workers, &board, STOP_BOUND_MS);
    const ULONGLONG tookMs = GetTickCount64() - start;
    kept.reset(held.empty() ? nullptr : held[0]);
    std::printf("the stop gave up on the hung channel after %llu ms\n", static_cast<unsigned long long>(tookMs));
    EXPECT_LT(tookMs, STOP_BOUND_MS + LOADED_MACHINE_MARGIN_MS);
    EXPECT_TRUE(workers.empty());
    ASSERT_EQ(held.size(), 1u) << "only the hung channel holds the stop";
    EXPECT_EQ(held[0]->Channel(), HUNG_CHANNEL);
    EXPECT_TRUE(WaitUntil([&] { return screen->Text().find(HELD_LINE) != std::string::npos; }, LINE_DEADLINE_MS))
        << "no line names the channel:\n" << screen->Text();

    SetEvent(hang.release);     // Close returns after all: the worker ends and can be freed
    EXPECT_TRUE(kept->Join(LINE_DEADLINE_MS));
    EXPECT_TRUE(gate.Join(LINE_DEADLINE_MS));
}

ChannelMapping Written(ChannelMapping mapping, const std::string& written)
{
    mapping.written = written;
    return mapping;
}

TEST(FeederStop, AChannelMappedAgainWaitsForItsOldSourceToCloseAndAThirdMapCanTakeItAwayMeanwhile)
{
    Hang hang;
    const Event stopEvent;
    const std::vector<ChannelMapping> hung = {Written(Mapping(HUNG_CHANNEL, std::make_shared<HangingConfig>(&hang)), "a")};
    const std::vector<ChannelMapping> again = {Written(Mapping(HUNG_CHANNEL, std::make_shared<HangingConfig>(&hang)), "b")};
    TextScreen* screen = new TextScreen(SCREEN_COLUMNS);
    StatusBoard board(hung, std::unique_ptr<BoardScreen>(screen));
    ASSERT_TRUE(board.Start());
    DriverGate gate;
    ASSERT_TRUE(gate.Start(stopEvent.h));
    TestPipe pipe(HUNG_CHANNEL);
    ChannelRoster roster(&board, &gate);
    const ReleaseOnExit releaseOnExit{stopEvent.h, hang.release};   // before the roster's end waits for the workers
    std::string why;
    ASSERT_TRUE(roster.Start(hung, &why)) << why;
    ASSERT_EQ(WaitForSingleObject(hang.opened, OPEN_DEADLINE_MS), WAIT_OBJECT_0) << "the worker never opened the source";

    const auto started = [&] {
        const std::string text = screen->Text();
        return text.find("watching for a host", text.find("added by")) != std::string::npos;
    };
    roster.Apply({});           // its Close hangs: the worker is still stopping
    roster.Apply(again);
    EXPECT_TRUE(roster.Reap()) << "the old worker cannot have ended";
    EXPECT_FALSE(WaitUntil(started, NOT_STARTED_WAIT_MS)) << "the new source must wait for the old one:\n"
                                                          << screen->Text();
    roster.Apply({});           // and is taken away before it ever started
    SetEvent(hang.release);
    EXPECT_TRUE(WaitUntil([&] { return !roster.Reap(); }, LINE_DEADLINE_MS));
    EXPECT_FALSE(WaitUntil(started, NOT_STARTED_WAIT_MS)) << "a source taken away while waiting started anyway:\n"
                                                          << screen->Text();
    EXPECT_TRUE(roster.Stop(STOP_BOUND_MS));
    SetEvent(stopEvent.h);
    EXPECT_TRUE(gate.Join(LINE_DEADLINE_MS));
}

TEST(FeederStop, TheFirstCtrlCAsksForAStopAndASecondEndsAtOnce)
{
    const Event stopEvent;
    const HANDLE stop = stopEvent.h;
    ConsoleStop console(stop);
    EXPECT_EQ(console.OnEvent(CTRL_LOGOFF_EVENT), ConsoleAction::NOT_OURS);
    EXPECT_EQ(WaitForSingleObject(stop, 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "a logoff is not a stop";
    EXPECT_EQ(console.OnEvent(CTRL_C_EVENT), ConsoleAction::STOP);
    EXPECT_EQ(WaitForSingleObject(stop, 0), WAIT_OBJECT_0);
    EXPECT_EQ(console.OnEvent(CTRL_BREAK_EVENT), ConsoleAction::END_NOW);
    EXPECT_EQ(console.OnEvent(CTRL_C_EVENT), ConsoleAction::END_NOW);
}

TEST(FeederStop, ClosingTheConsoleStopsAndWaitsWithoutCountingAsCtrlC)
{
    const Event stopEvent;
    const HANDLE stop = stopEvent.h;
    ConsoleStop console(stop);
    EXPECT_EQ(console.OnEvent(CTRL_CLOSE_EVENT), ConsoleAction::STOP_AND_WAIT);
    EXPECT_EQ(WaitForSingleObject(stop, 0), WAIT_OBJECT_0);
    EXPECT_EQ(console.OnEvent(CTRL_C_EVENT), ConsoleAction::STOP) << "the first Ctrl+C still stops cleanly";
}

} // namespace
