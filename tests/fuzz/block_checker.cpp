#include "block_checker.h"
#include <cstring>
#include <vector>

namespace {

constexpr size_t SEARCH_WINDOW = 64 * 1024;
// From this size on a block holds a whole aligned word whatever its start.
constexpr DWORD ALWAYS_HAS_A_WORD = 2 * WORD_BYTES - 1;

std::string Where(uint32_t session, uint64_t position)
{
    return "session " + std::to_string(session) + " byte " + std::to_string(position);
}

}  // namespace

bool BlockChecker::Fail(const std::string& why)
{
    if (m_fault.empty())
        m_fault = why;
    return false;
}

bool BlockChecker::Check(DWORD channel, const unsigned char* data, DWORD size)
{
    ++m_blocks;
    m_bytes += size;
    if (size == 0) {
        ++m_empty;
        return true;
    }
    StreamPlace found = {};
    if (PlaceByWord(data, size, found))
        return Follows(channel, found, size);
    const std::string block = "a block of " + std::to_string(size) + " bytes on channel " + std::to_string(channel);
    if (size >= ALWAYS_HAS_A_WORD)
        return Fail(block + " is no slice of any writer's stream: altered");
    Place& at = m_places[channel];
    if (!FitsSomewhereAfter(channel, at, data, size))
        return Fail(block + " matches no writer's stream after " + Where(at.session, at.end));
    // Too short to be sure where it lies: the next certain block may follow a gap.
    ++m_loose;
    at.mayGap = true;
    return true;
}

bool BlockChecker::PlaceByWord(const unsigned char* data, DWORD size, StreamPlace& found) const
{
    const uint32_t sessions = m_sessions.Count();
    for (unsigned offset = 0; offset < WORD_BYTES; ++offset) {
        StreamPlace place = {};
        if (!PlaceByWordAt(data, size, offset, place) || place.session == 0 || place.session > sessions)
            continue;
        if (place.position + size > m_sessions.Reserved(place.session))
            continue;
        if (MatchStream(place.session, place.position, data, size) == size) {
            found = place;
            return true;
        }
    }
    return false;
}

bool BlockChecker::Follows(DWORD channel, const StreamPlace& found, DWORD size)
{
    const std::string slice = Where(found.session, found.position) + " (" + std::to_string(size) + " bytes)";
    if (m_sessions.Channel(found.session) != channel)
        return Fail(slice + " arrived on channel " + std::to_string(channel) + " but was written to channel " +
                    std::to_string(m_sessions.Channel(found.session)));
    Place& at = m_places[channel];
    const std::string after = " after " + Where(at.session, at.end);
    if (found.session < at.session || (found.session == at.session && found.position < at.end))
        return Fail(slice + " duplicated or out of order" + after);
    const bool continues = found.session == at.session && found.position == at.end;
    const bool nextWriter = found.session > at.session && found.position == 0;
    if (!continues && !nextWriter) {
        if (!at.mayGap)
            return Fail(slice + " leaves bytes out with nothing dropped" + after);
        ++m_gaps;
    }
    at.session = found.session;
    at.end = found.position + size;
    at.mayGap = false;
    return true;
}

bool BlockChecker::FitsSomewhereAfter(DWORD channel, const Place& from, const unsigned char* data, DWORD size) const
{
    std::vector<unsigned char> window(SEARCH_WINDOW + size);
    const uint32_t sessions = m_sessions.Count();
    for (uint32_t session = from.session == 0 ? 1 : from.session; session <= sessions; ++session) {
        if (m_sessions.Channel(session) != channel)
            continue;
        const uint64_t reserved = m_sessions.Reserved(session);
        for (uint64_t start = session == from.session ? from.end : 0; start + size <= reserved;
             start += SEARCH_WINDOW) {
            const size_t span = static_cast<size_t>(reserved - start < SEARCH_WINDOW + size ? reserved - start
                                                                                           : SEARCH_WINDOW + size);
            FillStream(session, start, window.data(), span);
            for (size_t i = 0; i + size <= span; ++i)
                if (std::memcmp(window.data() + i, data, size) == 0)
                    return true;
        }
    }
    return false;
}
