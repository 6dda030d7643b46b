// Follows a map file while the feeder runs: on the system's word that the file
// changed, waits for the saving editor to finish, reads the file and, once a
// second read a moment later gives the same text, hands the new map to the
// roster. A map that does not parse, or that the feeder's vetting refuses,
// changes nothing: one line says why and the map in use stays. A read that
// catches a save half done, or the file locked or briefly gone, is tried again
// shortly rather than taken for a bad map.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "channel_roster.h"
#include "feeder_options.h"
#include "map_watch.h"
#include "status_board.h"

// May refuse a whole new map: false with *why, which the event line gives.
typedef std::function<bool(const std::vector<ChannelMapping>& mappings, std::string* why)> MapVetting;

class MapReloader {
public:
    // vetting may be empty: every map that parses is taken.
    MapReloader(const FeederOptions& options, ChannelRoster* roster, StatusBoard* board, MapVetting vetting);
    ~MapReloader();
    MapReloader(const MapReloader&) = delete;
    MapReloader& operator=(const MapReloader&) = delete;

    // Starts watching options.watchedMap; false with *why when the system refuses a thread.
    // A folder that cannot be watched is said in an event line, and the map stays as it is.
    bool Start(HANDLE hStop, std::string* why);
    // True once the thread has ended (the stop event set), waiting at most timeoutMs.
    bool Join(DWORD timeoutMs);

private:
    struct Attempt {
        bool                        ok = false;
        bool                        unreadable = false;     // the file could not be opened or read
        std::string                 text;
        std::vector<ChannelMapping> mappings;
        std::string                 why;
    };
    enum class Confirmation { SAME, CHANGED, STOPPED };
    static DWORD WINAPI ThreadMain(void* self);
    void Run();
    bool Reload();
    bool AwaitQuiet();
    Attempt Read() const;
    Confirmation Confirm(const std::string& text);
    bool Vet(Attempt* attempt) const;
    void Take(const Attempt& attempt);
    void Remember(const std::string& text);

    const std::string               m_path;
    const std::vector<ChannelMapping> m_fixed;      // from the command line: a map change leaves them alone
    ChannelRoster*                  m_roster;
    StatusBoard*                    m_board;
    const MapVetting                m_vetting;
    MapWatch                        m_watch;        // the thread's once it runs
    HANDLE                          m_hStop = NULL;
    HANDLE                          m_hThread = NULL;
    std::string                     m_lastText;     // the thread's: the text last read whole
    bool                            m_bTextRead = false;    // the thread's: m_lastText holds a read
    bool                            m_bWatching = false;    // the thread's: false once the watch failed
};
