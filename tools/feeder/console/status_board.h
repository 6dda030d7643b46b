// What the feeder tells the user. On a console: event lines, and below them one
// status line per mapped channel, fitted to the console's width and redrawn about
// once a second. Otherwise (a file, a pipe, a scheduled task): event lines with
// the time, and a summary at the end. A thread of its own does the writing, so
// output that stops (a console selection, a pipe nobody reads) holds up no channel.
#pragma once
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "board_layout.h"
#include "board_redraw.h"
#include "channel_states.h"
#include "clock.h"
#include "feeder_options.h"
#include "log_file.h"
#include "status_snapshot.h"

struct ChannelFigures {
    ChannelState    state = ChannelState::WATCHING;
    std::string     detail;             // source down: the reason
    double          retryAt = 0.0;      // board seconds of the next try, while down
    uint64_t        accepted = 0;       // bytes the pipe took, every visit
    uint64_t        delivered = 0;      // of those, certainly read by the driver
    uint64_t        inDoubt = 0;        // maybe still in the pipe when the host left
    uint64_t        drops = 0;          // whole packets dropped by the source
    uint64_t        skipped = 0;        // bytes that were no whole aligned packet
    uint32_t        visits = 0;         // times a host selected the channel
    uint32_t        failures = 0;       // times the source failed
    std::string     lastTrouble;        // the latest trouble's line; empty: none so far
    double          troubleAt = 0.0;    // board seconds of that line
};

// One channel's status line in its parts, before it is fitted to a width.
BoardRowText StatusRowText(uint32_t channel, const ChannelFigures& figures, double bitsPerSecond,
                           double secondsNow, const std::string& source);

class StatusBoard {
public:
    // screen: where the board is drawn, or null when output is not a console.
    StatusBoard(const std::vector<ChannelMapping>& mappings, std::unique_ptr<BoardScreen> screen);
    ~StatusBoard();
    StatusBoard(const StatusBoard&) = delete;
    StatusBoard& operator=(const StatusBoard&) = delete;

    // Every event line and the summary go to the log as well; before Start.
    void SetLog(std::unique_ptr<LogFile> log);
    // Starts the writing thread; false, with the system's error, when it cannot.
    bool Start();
    double Now() const;
    // "HH:MM:SS.mmm channel N: line", queued: the caller never waits on output.
    void Event(uint32_t channel, const std::string& line);
    // "HH:MM:SS.mmm line", for what concerns no single channel (a map file's trouble).
    void Note(const std::string& line);
    // A channel the map gained gets its row; a removed one's row goes, its figures
    // stay for the summary.
    void AddRow(uint32_t channel, const std::string& source);
    void RetireRow(uint32_t channel);
    void Publish(uint32_t channel, const ChannelFigures& figures);
    // Takes the rates and asks for a redraw, which waits while output is blocked.
    void Refresh();
    // Writes what is queued, takes the board away and writes the summary.
    void Summary();
    // What the status page shows, copied under the board's lock; any thread.
    StatusSnapshot Snapshot(const std::string& version) const;

private:
    struct Row {
        uint32_t        channel;
        std::string     source;
        ChannelFigures  figures;
        uint64_t        lastAccepted = 0;
        double          lastSeconds = 0.0;
        double          bitsPerSecond = 0.0;
    };
    struct Frame {
        std::vector<std::string>    events;
        std::vector<std::string>    dated;      // the same lines with the date, for the log
        std::vector<std::string>    board;
        bool                        last = false;
    };
    struct Shared;
    static DWORD WINAPI WriterMain(void* shared);
    static void WriteUntilStopped(Shared& shared);
    static Frame TakeFrame(Shared& shared, size_t columns);
    static void WriteFrame(Shared& shared, const Frame& frame);
    static void WriteSummary(Shared& shared, const std::string& text);
    static ChannelStatus StatusOf(const Row& row, const std::vector<Row>& retired, double now);
    Row* Find(uint32_t channel);
    void Queue(const std::string& text);
    bool StopWriter();

    // What the board and its writing thread share. The thread holds a reference
    // of its own, so a board that gave up waiting for a writer stuck on blocked
    // output frees nothing the writer still uses.
    std::shared_ptr<Shared>         m_shared;
    HANDLE                          m_hWriter = NULL;
};
