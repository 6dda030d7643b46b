// Places each block the host takes in its writer's stream and keeps the order
// per channel: every block is one contiguous slice of one session of the
// selected channel, after every slice before it. Data may go missing only
// where the host dropped it (purge, select, close) or a writer left; a gap
// anywhere else is a fault too.
#pragma once
#include <windows.h>
#include <cstdint>
#include <string>
#include "position_stream.h"
#include "session_registry.h"

constexpr DWORD FUZZ_CHANNELS = 10;

class BlockChecker {
public:
    explicit BlockChecker(const SessionRegistry& sessions) : m_sessions(sessions) {}

    // The host dropped what was ready or in the pipe of `channel`.
    void Dropped(DWORD channel) { m_places[channel].mayGap = true; }
    // True when the block fits; otherwise Fault() says why.
    bool Check(DWORD channel, const unsigned char* data, DWORD size);
    const std::string& Fault() const { return m_fault; }

    uint64_t Blocks() const { return m_blocks; }
    uint64_t Bytes() const { return m_bytes; }
    uint64_t EmptyBlocks() const { return m_empty; }
    uint64_t LooseBlocks() const { return m_loose; }
    uint64_t Gaps() const { return m_gaps; }

private:
    // The end of the last slice placed for certain on a channel.
    struct Place {
        uint32_t session = 0;
        uint64_t end = 0;
        bool mayGap = true;     // after a drop, or after a block too short to place for certain
    };
    bool PlaceByWord(const unsigned char* data, DWORD size, StreamPlace& found) const;
    bool FitsSomewhereAfter(DWORD channel, const Place& from, const unsigned char* data, DWORD size) const;
    bool Follows(DWORD channel, const StreamPlace& found, DWORD size);
    bool Fail(const std::string& why);

    const SessionRegistry& m_sessions;
    Place m_places[FUZZ_CHANNELS];
    std::string m_fault;
    uint64_t m_blocks = 0;
    uint64_t m_bytes = 0;
    uint64_t m_empty = 0;
    uint64_t m_loose = 0;
    uint64_t m_gaps = 0;
};
