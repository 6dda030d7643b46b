#include "fuzz_writers.h"
#include "driver_module.h"
#include "fuzz_random.h"
#include "position_stream.h"

namespace {

constexpr DWORD CONNECT_RETRY_MS = 5;
constexpr DWORD STOP_MS = 10000;
constexpr uint64_t SESSION_MOST_BYTES = 8ull << 20;
constexpr DWORD LARGEST_WRITE = 200000;
constexpr DWORD PAUSE_MOST_MS = 30;
constexpr unsigned PERCENT = 100;
constexpr unsigned LEAVE_PERCENT = 3;
constexpr unsigned PAUSE_PERCENT = 7;

// Mostly block-sized writes, with tiny, exact-block and oversized ones mixed in.
DWORD WriteSize(uint64_t& random)
{
    const unsigned pick = static_cast<unsigned>(Below(random, PERCENT));
    if (pick < 10)
        return 1 + static_cast<DWORD>(Below(random, 16));
    if (pick < 40)
        return 1 + static_cast<DWORD>(Below(random, 4096));
    if (pick < 80)
        return 1 + static_cast<DWORD>(Below(random, 65536));
    if (pick < 90)
        return BLOCK_BYTES;
    return 1 + static_cast<DWORD>(Below(random, LARGEST_WRITE));
}

}  // namespace

FuzzWriters::FuzzWriters(SessionRegistry& sessions, const std::vector<DWORD>& channels, uint64_t seed)
    : m_sessions(sessions)
{
    for (DWORD channel : channels)
        m_writers.push_back({this, channel, seed * 0x9E3779B97F4A7C15ull + channel + 1, NULL});
}

void FuzzWriters::Start()
{
    for (Writer& writer : m_writers)
        writer.thread = CreateThread(NULL, 0, Run, &writer, 0, NULL);
}

bool FuzzWriters::Stop()
{
    m_stop = true;
    bool ended = true;
    for (Writer& writer : m_writers) {
        if (writer.thread == NULL)
            continue;
        ended = WaitForSingleObject(writer.thread, STOP_MS) == WAIT_OBJECT_0 && ended;
        CloseHandle(writer.thread);
        writer.thread = NULL;
    }
    return ended;
}

DWORD WINAPI FuzzWriters::Run(LPVOID param)
{
    const Writer* writer = static_cast<Writer*>(param);
    writer->owner->Sessions(*writer);
    return 0;
}

void FuzzWriters::Sessions(const Writer& writer)
{
    uint64_t random = writer.seed;
    const std::wstring name = PipeName(writer.channel);
    while (!m_stop) {
        HANDLE pipe = CreateFileW(name.c_str(), GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
        if (pipe == INVALID_HANDLE_VALUE) {
            Sleep(CONNECT_RETRY_MS);    // not selected, or the driver is not listening yet
            continue;
        }
        const uint32_t session = m_sessions.Open(writer.channel);
        const bool more = session != 0 && WriteSession(pipe, session, random);
        CloseHandle(pipe);
        if (session == 0 || !more)
            Sleep(CONNECT_RETRY_MS);
    }
}

// Writes until it leaves at random (true) or a write fails (false).
bool FuzzWriters::WriteSession(HANDLE pipe, uint32_t session, uint64_t& random)
{
    const uint64_t length = 1 + Below(random, SESSION_MOST_BYTES);
    std::vector<unsigned char> buffer(LARGEST_WRITE);
    for (uint64_t position = 0; position < length && !m_stop;) {
        const unsigned action = static_cast<unsigned>(Below(random, PERCENT));
        if (action < LEAVE_PERCENT)
            return true;
        if (action < LEAVE_PERCENT + PAUSE_PERCENT) {
            Sleep(1 + static_cast<DWORD>(Below(random, PAUSE_MOST_MS)));
            continue;
        }
        DWORD size = WriteSize(random);
        if (size > length - position)
            size = static_cast<DWORD>(length - position);
        FillStream(session, position, buffer.data(), size);
        m_sessions.Reserve(session, position + size);
        DWORD written = 0;
        if (!WriteFile(pipe, buffer.data(), size, &written, NULL))
            return false;
        ++m_writes;
        m_bytes += written;
        position += written;
    }
    return true;
}
