// A watched map changing under a running feeder: the feeder's parts in the test's
// process, met by a host that loads the shipped driver, saved the ways editors save.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>

#include "census.h"
#include "channel_roster.h"
#include "feeder_child.h"
#include "feeder_streams.h"
#include "map_reads.h"
#include "map_reload.h"
#include "switching_host.h"
#include "text_screen.h"
#include "ts_check.h"
#include "wait_until.h"

namespace {

const size_t SCREEN_COLUMNS = 200;
const DWORD  EFFECT_DEADLINE_MS = 5000;     // a second is the aim; the rest is a loaded machine
const DWORD  STOP_BOUND_MS = 3000;
const DWORD  RELOADER_STOP_MS = 1000;
const double STREAM_SECONDS = 5.0;
const double FIRST_SAVE_SECONDS = 1.5;
const double SECOND_SAVE_SECONDS = 3.0;
// The pump flushes every 20 ms; a channel held up by a reload or restarted by it stalls
// for the save's quiet wait, a map read and a channel's stop and start, a restart shows
// as a second visit as well. Half a second is a stall a host shows, beyond a loaded
// machine's scheduling.
const double GAP_LIMIT_SECONDS = 0.500;
const double VISIT_LIMIT_SECONDS = 10.0;
const double REMOVED_VISIT_SECONDS = 1.5;
const DWORD  STAGE_READ_LIMIT_MS = 1000;    // under the feeder's 1.5 s patience with a locked file
const DWORD  RENAME_PATIENCE_MS = 2000;     // the feeder holds the map only while it reads it
const int    LEAK_ROUNDS = 20;
const size_t THREAD_SLACK = 2;              // the system's pool threads come and go
const DWORD  CENSUS_STILL_MS = 300;         // a stopped channel's thread and handles go a little after its line
const int    FIGURE_SAVES = 40;
const double MS_PER_SECOND = 1000.0;
const size_t OPENING_BYTES = 10 * 188;
const char   KEPT[] = "keeping the map in use";

std::string Loop(const char* clip)
{
    return "file:" + StreamPath(clip) + "?loop";
}

// The census once it has held still for a while.
Census SettledCensus()
{
    Census last = Census::Take();
    ULONGLONG stillSince = GetTickCount64();
    const ULONGLONG deadline = stillSince + EFFECT_DEADLINE_MS;
    while (GetTickCount64() - stillSince < CENSUS_STILL_MS && GetTickCount64() < deadline) {
        Sleep(POLL_MS);
        const Census now = Census::Take();
        if (now.handles != last.handles || now.threads != last.threads) {
            last = now;
            stillSince = GetTickCount64();
        }
    }
    return last;
}

bool WriteWhole(const std::string& path, const std::string& text)
{
    const HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS, 0, NULL);
    DWORD written = 0;
    const bool ok = h != INVALID_HANDLE_VALUE && WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, NULL);
    CloseHandle(h);
    return ok;
}

// Runs a save on the timer queue's thread once `seconds` have passed.
class SaveLater {
public:
    SaveLater(double seconds, std::function<bool()> save) : m_save(std::move(save))
    {
        CreateTimerQueueTimer(&m_hTimer, NULL, [](void* self, BOOLEAN) { static_cast<SaveLater*>(self)->Run(); }, this,
                              static_cast<DWORD>(seconds * MS_PER_SECOND), 0, WT_EXECUTEONLYONCE);
    }
    ~SaveLater()
    {
        if (m_hTimer != NULL)
            DeleteTimerQueueTimer(NULL, m_hTimer, INVALID_HANDLE_VALUE);   // waits for a save under way
    }
    bool Saved() const { return m_bSaved; }

private:
    void Run() { m_bSaved = m_save(); }

    std::function<bool()>   m_save;
    HANDLE                  m_hTimer = NULL;
    volatile bool           m_bSaved = false;   // written by the timer's thread before the test reads it
};

class MapReload : public ::testing::Test {
protected:
    void SetUp() override
    {
        char temp[MAX_PATH];
        GetTempPathA(sizeof temp, temp);
        m_folder = std::string(temp) + UniqueName("map");
        ASSERT_TRUE(CreateDirectoryA(m_folder.c_str(), NULL));
        m_path = m_folder + "\\channels.txt";
        m_hStop = CreateEventW(NULL, TRUE, FALSE, NULL);
    }
    void TearDown() override
    {
        SetEvent(m_hStop);
        if (m_reloader)
            EXPECT_TRUE(m_reloader->Join(RELOADER_STOP_MS));
        if (m_roster)
            EXPECT_TRUE(m_roster->Stop(STOP_BOUND_MS));
        m_gate.Join(INFINITE);
        DeleteFileA(m_path.c_str());
        RemoveDirectoryA(m_folder.c_str());
        CloseHandle(m_hStop);
    }

    // `savedBeforeWatch`, when given, is saved after the start-up read and before the watch starts.
    void Begin(const std::string& map, MapVetting vetting = MapVetting(), const std::string& savedBeforeWatch = "")
    {
        ASSERT_TRUE(WriteWhole(m_path, map));
        FeederOptions options;
        bool unreadable = false;
        ASSERT_EQ(ParseFeederOptions({"--map", m_path}, &options, &unreadable).message, "");
        if (!savedBeforeWatch.empty())
            ASSERT_TRUE(WriteWhole(m_path, savedBeforeWatch));
        m_screen = new TextScreen(SCREEN_COLUMNS);
        m_board.reset(new StatusBoard(options.mappings, std::unique_ptr<BoardScreen>(m_screen)));
        ASSERT_TRUE(m_board->Start());
        ASSERT_TRUE(m_gate.Start(m_hStop));
        m_roster.reset(new ChannelRoster(m_board.get(), &m_gate));
        std::string why;
        ASSERT_TRUE(m_roster->Start(options.mappings, &why)) << why;
        m_reloader.reset(new MapReloader(options, m_roster.get(), m_board.get(), std::move(vetting)));
        ASSERT_TRUE(m_reloader->Start(m_hStop, &why)) << why;
    }

    // A save as most editors on Windows make it: a new file renamed over the old. A file
    // that someone has open cannot be replaced, so editors try again, as this does.
    bool SaveByRename(const std::string& map)
    {
        const std::string fresh = m_path + ".new";
        return WriteWhole(fresh, map) && WaitUntil([&] {
            return MoveFileExA(fresh.c_str(), m_path.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
        }, RENAME_PATIENCE_MS);
    }

    size_t Mark() { return m_screen->Text().size(); }

    ::testing::AssertionResult Says(const std::string& text, size_t from = 0, DWORD timeoutMs = EFFECT_DEADLINE_MS)
    {
        if (WaitUntil([&] { return m_screen->Text().find(text, from) != std::string::npos; }, timeoutMs))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "no '" << text << "' within " << timeoutMs << " ms:\n" << m_screen->Text();
    }

    bool SaidAfter(const std::string& text, size_t from) { return m_screen->Text().find(text, from) != std::string::npos; }

    // The summary, written once every channel has stopped.
    std::string Summary()
    {
        SetEvent(m_hStop);
        EXPECT_TRUE(m_reloader->Join(RELOADER_STOP_MS));
        EXPECT_TRUE(m_roster->Stop(STOP_BOUND_MS));
        m_board->Summary();
        return m_screen->Text();
    }

    std::string                     m_folder;
    std::string                     m_path;
    HANDLE                          m_hStop = NULL;
    TextScreen*                     m_screen = nullptr;     // the board's
    std::unique_ptr<StatusBoard>    m_board;
    DriverGate                      m_gate;
    std::unique_ptr<ChannelRoster>  m_roster;
    std::unique_ptr<MapReloader>    m_reloader;
};

class MapReloadWithHost : public MapReload {
protected:
    void SetUp() override
    {
        MapReload::SetUp();
        ASSERT_TRUE(m_host.Load()) << m_host.Error();
    }
    SwitchingHost m_host;
};

TEST_F(MapReloadWithHost, AStreamingChannelLeftAsItWasGoesOnWithoutAGapWhileOthersAreAddedChangedAndRemoved)
{
    const std::string one = "1=" + Loop("clip_b.ts") + "\n";
    Begin(one + "2=" + Loop("clip_a.ts") + "\n3=" + Loop("clip_c.ts") + "\n");
    // Saved from the timer's thread: the host's own thread only drains, as a real host's does.
    const std::string firstMap = "# channel 3 is off\n" + one + "2=" + Loop("clip_c.ts") + "\n4=" + Loop("clip_a.ts") + "\n";
    const std::string secondMap = one + "4=" + Loop("clip_a.ts") + "\n";
    ASSERT_TRUE(m_host.Select(1)) << m_host.Error();
    SaveLater first(FIRST_SAVE_SECONDS, [&] { return SaveByRename(firstMap); });
    SaveLater second(SECOND_SAVE_SECONDS, [&] { return WriteWhole(m_path, secondMap); });
    const Recording recording = m_host.Drain(STREAM_SECONDS);
    ASSERT_TRUE(first.Saved() && second.Saved());
    EXPECT_TRUE(Says("channel 2: removed from the map"));

    const TsReport got = CheckTransportStream(recording.bytes);
    const std::vector<uint8_t> clip = ReadWholeFile(StreamPath("clip_b.ts"));
    EXPECT_EQ(got.continuityErrors, 0u) << got.firstError;
    EXPECT_EQ(got.strayBytes, 0u);
    ASSERT_GT(recording.bytes.size(), clip.size());
    EXPECT_TRUE(std::equal(clip.begin(), clip.end(), recording.bytes.begin())) << "the first pass is the file itself";
    double largestGap = 0.0, gapAt = 0.0;
    for (size_t i = 1; i < recording.arrivals.size(); ++i) {
        const double gap = recording.arrivals[i].seconds - recording.arrivals[i - 1].seconds;
        if (gap > largestGap) {
            largestGap = gap;
            gapAt = recording.arrivals[i].seconds;
        }
    }
    std::printf("the untouched channel's largest gap across two saves: %.0f ms, %.2f s into the visit\n",
                largestGap * MS_PER_SECOND, gapAt);
    EXPECT_LE(largestGap, GAP_LIMIT_SECONDS);
    EXPECT_GT(recording.arrivals.back().seconds, STREAM_SECONDS - GAP_LIMIT_SECONDS * 2) << "the stream went on to the end";
    const std::string text = m_screen->Text();
    EXPECT_EQ(text.find("channel 1: host selected"), text.rfind("channel 1: host selected")) << "one visit:\n" << text;
    EXPECT_EQ(text.find("channel 1: stopped"), std::string::npos);
    EXPECT_NE(text.find("channel 2: changed by " + m_path + " line 3"), std::string::npos) << text;
    EXPECT_NE(text.find("channel 3: removed from the map"), std::string::npos) << text;

    ASSERT_TRUE(m_host.Select(4)) << m_host.Error();
    const Recording four = m_host.Drain(VISIT_LIMIT_SECONDS, [](const Recording& r) { return r.bytes.size() >= OPENING_BYTES; });
    const std::vector<uint8_t> a = ReadWholeFile(StreamPath("clip_a.ts"));
    ASSERT_GE(four.bytes.size(), OPENING_BYTES) << "the added channel serves a host";
    EXPECT_TRUE(std::equal(a.begin(), a.begin() + OPENING_BYTES, four.bytes.begin()));
    ASSERT_TRUE(m_host.Select(3)) << m_host.Error();
    EXPECT_TRUE(m_host.Drain(REMOVED_VISIT_SECONDS).bytes.empty()) << "the removed channel serves nobody";
    m_host.Leave();

    const std::string summary = Summary();
    const size_t start = summary.find("summary after");
    ASSERT_NE(start, std::string::npos);
    EXPECT_NE(summary.find("channel 3: visits 0", start), std::string::npos) << "a removed channel's summary is kept";
    EXPECT_NE(summary.find("channel 4: visits 1", start), std::string::npos) << summary.substr(start);
}

TEST_F(MapReloadWithHost, AChangedChannelEndsTheVisitAndItsNewSourceServesTheNext)
{
    Begin("2=" + Loop("clip_a.ts") + "\n");
    const std::vector<uint8_t> a = ReadWholeFile(StreamPath("clip_a.ts")), c = ReadWholeFile(StreamPath("clip_c.ts"));
    // Both clips have the same PIDs: the new source shows by its opening packets.
    const std::vector<uint8_t> opening(c.begin(), c.begin() + OPENING_BYTES);
    const auto holdsOpening = [&](const std::vector<uint8_t>& bytes) {
        return std::search(bytes.begin(), bytes.end(), opening.begin(), opening.end()) != bytes.end();
    };
    ASSERT_TRUE(m_host.Select(2)) << m_host.Error();
    bool saved = false;
    const Recording recording = m_host.Drain(VISIT_LIMIT_SECONDS, [&](const Recording& r) {
        if (!saved && !r.bytes.empty())
            saved = SaveByRename("2=" + Loop("clip_c.ts") + "\n");
        return saved && holdsOpening(r.bytes);
    });
    m_host.Leave();
    ASSERT_TRUE(saved);
    EXPECT_TRUE(std::equal(a.begin(), a.begin() + OPENING_BYTES, recording.bytes.begin())) << "the old source came first";
    EXPECT_TRUE(holdsOpening(recording.bytes)) << "the new source never arrived:\n" << m_screen->Text();
    EXPECT_TRUE(Says("channel 2: changed by"));
    const std::string text = m_screen->Text();
    EXPECT_NE(text.find("channel 2: stopped; source closed"), std::string::npos) << "the old visit ended:\n" << text;
}

TEST_F(MapReload, ASaveBetweenTheStartUpReadAndTheWatchIsNotMissed)
{
    const std::string one = "1=" + Loop("clip_b.ts") + "\n";
    Begin(one, MapVetting(), one + "3=" + Loop("clip_c.ts") + "\n");
    EXPECT_TRUE(Says("channel 3: added by " + m_path + " line 2"));
}

TEST_F(MapReload, AMapThatDoesNotParseChangesNothingAndNamesItsLine)
{
    Begin("1=" + Loop("clip_a.ts") + "\n");
    const size_t mark = Mark();
    ASSERT_TRUE(WriteWhole(m_path, "1=" + Loop("clip_a.ts") + "\n\n2=" + Loop("clip_b.ts") + "\n3=nosuch:x\n"));
    EXPECT_TRUE(Says(m_path + " line 4: unknown kind of source 'nosuch:x'", mark));
    EXPECT_TRUE(Says(KEPT, mark));
    EXPECT_FALSE(SaidAfter("added", mark));
    EXPECT_EQ(m_roster->Mappings().size(), 1u);

    ASSERT_TRUE(WriteWhole(m_path, "1=" + Loop("clip_a.ts") + "\n2=" + Loop("clip_b.ts") + "\n"));
    EXPECT_TRUE(Says("channel 2: added by", mark)) << "a good map after a bad one is taken";
}

TEST_F(MapReload, AMapTheVettingRefusesIsHandledLikeOneThatDoesNotParse)
{
    size_t vetted = 0;
    const MapVetting noPrograms = [&](const std::vector<ChannelMapping>& mappings, std::string* why) {
        vetted = mappings.size();
        for (const ChannelMapping& mapping : mappings)
            if (mapping.written.compare(0, 4, "cmd:") == 0) {
                *why = mapping.origin + ": programs are not run here";
                return false;
            }
        return true;
    };
    Begin("1=" + Loop("clip_a.ts") + "\n", noPrograms);
    const size_t mark = Mark();
    ASSERT_TRUE(SaveByRename("1=" + Loop("clip_a.ts") + "\n5=cmd:tool.exe\n"));
    EXPECT_TRUE(Says(m_path + ": refused: " + m_path + " line 2: programs are not run here; " + KEPT, mark));
    EXPECT_EQ(vetted, 2u) << "the vetting sees the whole new map";
    EXPECT_EQ(m_roster->Mappings().size(), 1u);
    EXPECT_FALSE(SaidAfter("channel 5", mark));

    ASSERT_TRUE(SaveByRename("1=" + Loop("clip_b.ts") + "\n"));
    EXPECT_TRUE(Says("channel 1: changed by", mark));
}

TEST_F(MapReload, ASaveCaughtHalfWayOrLockedIsWaitedForNotTakenForABadMap)
{
    const std::string one = "1=" + Loop("clip_a.ts") + "\n";
    Begin(one);
    MapReads reads(m_path);
    ASSERT_TRUE(reads.Applied());
    const size_t mark = Mark();
    const std::string map = one + "2=" + Loop("clip_b.ts") + "\n";
    // Each stage is written while the feeder's next read waits, so each read it makes
    // after the first sees a new stage, however long the writer takes.
    const long first = reads.Mark() + 1;
    reads.HoldOpen(first + 1);
    HANDLE h = CreateFileA(m_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(SetEndOfFile(h));  // emptied, as an editor that rewrites in place does first
    ASSERT_TRUE(reads.Held(STAGE_READ_LIMIT_MS)) << "the feeder never read the emptied file";
    const DWORD half = static_cast<DWORD>(one.size() + 4);  // "2=fi": no kind of source, yet
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(h, map.data(), half, &written, NULL));
    reads.HoldOpen(first + 2);
    reads.Release();
    ASSERT_TRUE(reads.Held(STAGE_READ_LIMIT_MS)) << "the feeder never read the half-written file";
    WriteFile(h, map.data() + half, static_cast<DWORD>(map.size()) - half, &written, NULL);
    CloseHandle(h);
    reads.Release();
    EXPECT_TRUE(Says("channel 2: added by", mark));
    EXPECT_FALSE(SaidAfter("channel 1: removed", mark)) << "an emptied file is a save under way";

    h = CreateFileA(m_path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    const std::string next = map + "3=" + Loop("clip_c.ts") + "\n";
    const long locked = reads.Mark();
    WriteFile(h, next.data(), static_cast<DWORD>(next.size()), &written, NULL);
    // Held unshared: the feeder's reads fail meanwhile.
    EXPECT_TRUE(reads.RefusedSince(locked, STAGE_READ_LIMIT_MS)) << "the feeder never tried the locked file";
    CloseHandle(h);
    EXPECT_TRUE(Says("channel 3: added by", mark));
    EXPECT_FALSE(SaidAfter(KEPT, mark)) << m_screen->Text();
}

TEST_F(MapReload, ManyReloadsLeaveNoThreadOrHandleBehindAndAStopDuringOneIsBounded)
{
    const std::string one = "1=" + Loop("clip_a.ts") + "\n";
    Begin(one);
    const auto addAndRemove = [&] {
        size_t mark = Mark();
        ASSERT_TRUE(SaveByRename(one + "5=" + Loop("clip_b.ts") + "\n"));
        ASSERT_TRUE(Says("channel 5: watching for a host", mark));
        mark = Mark();
        ASSERT_TRUE(WriteWhole(m_path, one));
        ASSERT_TRUE(Says("channel 5: stopped", mark));
    };
    addAndRemove();     // the system opens some handles of its own on first use, and keeps them
    const Census before = SettledCensus();
    ASSERT_TRUE(Counted(before));
    for (int round = 0; round < LEAK_ROUNDS && !HasFatalFailure(); ++round)
        addAndRemove();
    const Census after = SettledCensus();
    EXPECT_EQ(after.handles, before.handles) << "over " << LEAK_ROUNDS << " rounds";
    EXPECT_LE(after.threads, before.threads + THREAD_SLACK) << "over " << LEAK_ROUNDS << " rounds";

    const MapReads reads(m_path);
    ASSERT_TRUE(reads.Applied());
    const long mark = reads.Mark();
    const HANDLE locked = CreateFileA(m_path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    ASSERT_NE(locked, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(reads.RefusedSince(mark, STAGE_READ_LIMIT_MS)) << "the reload never tried the locked file";
    SetEvent(m_hStop);
    const ULONGLONG start = GetTickCount64();
    EXPECT_TRUE(m_reloader->Join(RELOADER_STOP_MS));
    std::printf("the map's thread stopped %llu ms after the stop, mid-reload\n",
                static_cast<unsigned long long>(GetTickCount64() - start));
    CloseHandle(locked);
}

// Figures, not a limit: the time from a save until the changed channel's line.
TEST_F(MapReload, SaveToEffectFigures)
{
    Begin("6=" + Loop("clip_a.ts") + "\n");
    std::vector<double> renamed, inPlace;
    for (int save = 0; save < FIGURE_SAVES; ++save) {
        const std::string map = "6=" + Loop(save % 2 == 0 ? "clip_b.ts" : "clip_a.ts") + "\n";
        const size_t mark = Mark();
        LARGE_INTEGER saved;
        const bool byRename = save % 4 < 2;
        ASSERT_TRUE(byRename ? SaveByRename(map) : WriteWhole(m_path, map));
        QueryPerformanceCounter(&saved);
        ASSERT_TRUE(Says("channel 6: changed by", mark));
        (byRename ? renamed : inPlace).push_back(SecondsSince(saved) * 1000.0);
    }
    std::vector<double> all = renamed;
    all.insert(all.end(), inPlace.begin(), inPlace.end());
    for (std::vector<double>* ms : {&renamed, &inPlace, &all}) {
        std::sort(ms->begin(), ms->end());
        std::printf("%s: %zu saves, save to effect median %.0f ms, p95 %.0f ms, longest %.0f ms\n",
                    ms == &renamed ? "renamed over" : ms == &inPlace ? "rewritten in place" : "all",
                    ms->size(), (*ms)[ms->size() / 2], (*ms)[(ms->size() * 95) / 100], ms->back());
    }
}

TEST(MapReloadFeeder, TheFeederFollowsItsMapFileAndNamesABadLine)
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    const std::string path = std::string(temp) + UniqueName("feeder-map") + ".txt";
    ASSERT_TRUE(WriteWhole(path, "1=" + Loop("clip_a.ts") + "\n"));
    FeederChild feeder;
    ASSERT_TRUE(feeder.Start({"--map", path}));
    ASSERT_TRUE(feeder.WaitForOutput("channel 1: watching for a host"));
    ASSERT_TRUE(WriteWhole(path, "1=" + Loop("clip_a.ts") + "\n7=" + Loop("clip_b.ts") + "\n"));
    EXPECT_TRUE(feeder.WaitForOutput("channel 7: watching for a host"));
    ASSERT_TRUE(WriteWhole(path, "7=\n"));
    EXPECT_TRUE(feeder.WaitForOutput(path + " line 1: "));
    EXPECT_EQ(feeder.Output().find("channel 1: removed"), std::string::npos);
    feeder.Kill();
    DeleteFileA(path.c_str());
}

// A writer pausing between lines after a half that parses: that half is never taken.
TEST_F(MapReload, AMapWrittenInTwoStepsWithAPauseIsTakenOnlyWhole)
{
    const std::string one = "1=" + Loop("clip_a.ts") + "\n", rest = "2=" + Loop("clip_b.ts") + "\n";
    Begin(one + rest);
    MapReads reads(m_path);
    ASSERT_TRUE(reads.Applied());
    const size_t mark = Mark();
    // The pause lasts until the feeder comes back to confirm what it read first.
    reads.HoldOpen(reads.Mark() + 2);
    const HANDLE h = CreateFileA(m_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS, 0, NULL);
    DWORD written = 0;
    WriteFile(h, one.data(), static_cast<DWORD>(one.size()), &written, NULL);
    ASSERT_TRUE(reads.Held(STAGE_READ_LIMIT_MS)) << "the feeder never read the first half";
    const std::string more = rest + "3=" + Loop("clip_c.ts") + "\n";
    WriteFile(h, more.data(), static_cast<DWORD>(more.size()), &written, NULL);
    CloseHandle(h);
    reads.Release();
    EXPECT_TRUE(Says("channel 3: added by", mark));
    EXPECT_FALSE(SaidAfter("channel 2: removed", mark)) << m_screen->Text();
}

} // namespace
