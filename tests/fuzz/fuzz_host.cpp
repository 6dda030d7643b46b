#include "fuzz_host.h"
#include <cstdio>
#include <cstring>
#include <cwchar>
#include "driver_module.h"
#include "fuzz_random.h"

namespace {

constexpr DWORD MOST_READY = 85;                // the ring less the block last handed out
constexpr DWORD WAIT_SIGNALLED = 0;
constexpr DWORD WAIT_ABANDONED_RESULT = 128;
constexpr DWORD WAIT_TIMED_OUT = 258;
constexpr DWORD WAIT_MOST_MS = 50;
constexpr DWORD EARLY_MS = 20;                  // the platform's waits may end a little early
constexpr DWORD CALL_LIMIT_MS = 15000;          // a close that forces both workers takes 2 s
constexpr DWORD WATCH_POLL_MS = 100;
constexpr DWORD THREAD_END_MS = 20000;
constexpr UINT HUNG_EXIT_CODE = 3;
constexpr DWORD SIZE_SENTINEL = 0xDEADBEEF;
constexpr BYTE GUARD_BYTE = 0xA5;
constexpr DWORD GUARD_BYTES = 64;
constexpr DWORD FIRST_CODE = 13;
const wchar_t TUNER_NAME[] = L"UDP/Compat";
BYTE* const DATA_SENTINEL = reinterpret_cast<BYTE*>(0x5EB7);

// Per ten thousand steps of the first host thread.
struct Weight {
    unsigned take, copy, drain, purge, select, code, close, refused, query;
};
constexpr Weight WEIGHTS = {2500, 1200, 1500, 40, 8, 3, 4, 200, 1000};
constexpr unsigned STEP_SCALE = 10000;          // the rest of the steps idle for a millisecond
constexpr DWORD IDLE_MS = 1;
constexpr uint64_t QUERY_CALLS = 9;             // the interface calls one query step makes

std::wstring ChannelName(DWORD channel)
{
    return L"Pipe\x756A\x53F7 " + std::to_wstring(channel);
}

}  // namespace

uint64_t FuzzFigures::Total() const
{
    uint64_t total = 0;
    for (const auto& count : calls)
        total += count;
    return total;
}

FuzzHost::FuzzHost(IBonDriver2* tuner, BlockChecker& checker, const std::vector<DWORD>& channels, uint64_t seed)
    : m_tuner(tuner), m_checker(checker), m_channels(channels), m_random(seed | 1), m_seed(seed),
      m_channel(NO_CHANNEL), m_copy(BLOCK_BYTES + GUARD_BYTES)
{
    InitializeCriticalSection(&m_faultLock);
}

FuzzHost::~FuzzHost()
{
    DeleteCriticalSection(&m_faultLock);
}

template <typename F> auto FuzzHost::Timed(CallClock& clock, Call call, const char* what, F operation)
{
    clock.what = what;
    clock.since = GetTickCount64();
    ++m_figures.calls[static_cast<int>(call)];
    auto result = operation();
    clock.since = 0;
    return result;
}

bool FuzzHost::Expect(bool condition, const std::string& what)
{
    if (condition)
        return true;
    EnterCriticalSection(&m_faultLock);
    if (m_fault.empty())
        m_fault = what;
    LeaveCriticalSection(&m_faultLock);
    m_faulted = true;
    return false;
}

bool FuzzHost::Run(DWORD seconds)
{
    HANDLE waiter = CreateThread(NULL, 0, WaiterMain, this, 0, NULL);
    HANDLE watchdog = CreateThread(NULL, 0, WatchdogMain, this, 0, NULL);
    const ULONGLONG deadline = GetTickCount64() + seconds * 1000ull;
    while (!Faulted() && GetTickCount64() < deadline)
        Step();
    if (m_open)
        Close();
    m_stop = true;
    for (HANDLE thread : {waiter, watchdog}) {
        Expect(thread != NULL && WaitForSingleObject(thread, THREAD_END_MS) == WAIT_OBJECT_0,
               "a host thread did not end");
        if (thread != NULL)
            CloseHandle(thread);
    }
    if (!m_checker.Fault().empty())
        Expect(false, m_checker.Fault());
    return !Faulted();
}

void FuzzHost::Step()
{
    unsigned pick = static_cast<unsigned>(Below(m_random, STEP_SCALE));
    const unsigned weights[] = {WEIGHTS.take, WEIGHTS.copy, WEIGHTS.drain, WEIGHTS.purge, WEIGHTS.select,
                                WEIGHTS.code, WEIGHTS.close, WEIGHTS.refused, WEIGHTS.query};
    unsigned chosen = 0;
    for (; chosen < sizeof(weights) / sizeof(weights[0]) && pick >= weights[chosen]; ++chosen)
        pick -= weights[chosen];
    switch (chosen) {
    case 0: Take(); break;
    case 1: Copy(); break;
    case 2: Drain(); break;
    case 3: Purge(); break;
    case 4: Select(false); break;
    case 5: Select(true); break;
    case 6: Close(); break;
    case 7: Refused(); break;
    case 8: Query(); break;
    default: Sleep(IDLE_MS); break;
    }
}

bool FuzzHost::CheckBlock(const BYTE* data, DWORD size, DWORD remaining)
{
    if (!Expect(size <= BLOCK_BYTES, "a block of " + std::to_string(size) + " bytes"))
        return false;
    if (!Expect(remaining <= MOST_READY, "remaining " + std::to_string(remaining)))
        return false;
    return Expect(m_checker.Check(m_channel, data, size), m_checker.Fault());
}

void FuzzHost::Take()
{
    BYTE* data = DATA_SENTINEL;
    DWORD size = SIZE_SENTINEL, remaining = SIZE_SENTINEL;
    const BOOL took = Timed(m_hostClock, Call::Take, "TakeStream",
                            [&] { return m_tuner->TakeStream(&data, &size, &remaining); });
    if (!m_open) {
        Expect(!took && data == DATA_SENTINEL && size == SIZE_SENTINEL && remaining == SIZE_SENTINEL,
               "TakeStream on a closed tuner answered or wrote");
        return;
    }
    if (!Expect(took, "TakeStream refused on an open channel"))
        return;
    if (data == DATA_SENTINEL) {
        Expect(size == 0 && remaining == 0, "TakeStream with nothing ready gave a size or a remainder");
        return;
    }
    CheckBlock(data, size, remaining);
}

void FuzzHost::Copy()
{
    std::memset(m_copy.data() + BLOCK_BYTES, GUARD_BYTE, GUARD_BYTES);
    m_copy[0] = GUARD_BYTE;
    const DWORD readyBefore = Timed(m_hostClock, Call::ReadyCount, "QueryReadyCount",
                                    [&] { return m_tuner->QueryReadyCount(); });
    DWORD size = SIZE_SENTINEL, remaining = SIZE_SENTINEL;
    const BOOL copied = Timed(m_hostClock, Call::Copy, "CopyStream",
                              [&] { return m_tuner->CopyStream(m_copy.data(), &size, &remaining); });
    bool guardKept = true;
    for (DWORD i = 0; i < GUARD_BYTES; ++i)
        guardKept = guardKept && m_copy[BLOCK_BYTES + i] == GUARD_BYTE;
    if (!Expect(guardKept, "CopyStream wrote past one block"))
        return;
    if (!m_open) {
        Expect(!copied && size == SIZE_SENTINEL && m_copy[0] == GUARD_BYTE, "CopyStream on a closed tuner answered");
        return;
    }
    if (!Expect(copied, "CopyStream refused on an open channel"))
        return;
    // Only this thread takes, so a count seen before the copy means it took a block.
    if (size != 0 || readyBefore != 0)
        CheckBlock(m_copy.data(), size, remaining);
}

void FuzzHost::Drain()
{
    for (DWORD taken = 0; taken <= MOST_READY && !Faulted(); ++taken) {
        BYTE* data = DATA_SENTINEL;
        DWORD size = 0, remaining = 0;
        const BOOL took = Timed(m_hostClock, Call::Take, "TakeStream",
                                [&] { return m_tuner->TakeStream(&data, &size, &remaining); });
        if (!took || data == DATA_SENTINEL) {
            Expect(took == (m_open ? TRUE : FALSE), "TakeStream answered against the tuner's state");
            return;
        }
        if (!CheckBlock(data, size, remaining) || remaining == 0)
            return;
    }
}

void FuzzHost::Purge()
{
    Timed(m_hostClock, Call::Purge, "PurgeStream", [&] {
        m_tuner->PurgeStream();
        return 0;
    });
    if (m_open)
        m_checker.Dropped(m_channel);
}

void FuzzHost::Select(bool byCode)
{
    const DWORD channel = m_channels[Below(m_random, m_channels.size())];
    AcquireSRWLockExclusive(&m_selectLock);
    if (m_open)
        m_checker.Dropped(m_channel);
    const BOOL opened = byCode ? Timed(m_hostClock, Call::SetCode, "SetChannelCode",
                                       [&] { return m_tuner->SetChannelCode(static_cast<BYTE>(FIRST_CODE + channel)); })
                               : Timed(m_hostClock, Call::Select, "SelectChannel",
                                       [&] { return m_tuner->SelectChannel(0, channel); });
    m_open = opened != FALSE;
    m_channel = m_open ? channel : NO_CHANNEL;
    m_checker.Dropped(channel);
    ReleaseSRWLockExclusive(&m_selectLock);
    if (Expect(opened, "channel " + std::to_string(channel) + " did not open"))
        Expect(m_tuner->QueryCurrentChannel() == channel, "the current channel is not the one selected");
}

void FuzzHost::Close()
{
    AcquireSRWLockExclusive(&m_selectLock);
    Timed(m_hostClock, Call::Close, "CloseTuner", [&] {
        m_tuner->CloseTuner();
        return 0;
    });
    if (m_open)
        m_checker.Dropped(m_channel);
    m_open = false;
    m_channel = NO_CHANNEL;
    ReleaseSRWLockExclusive(&m_selectLock);
    Expect(m_tuner->QueryCurrentChannel() == NO_CHANNEL, "a closed tuner still has a channel");
}

// Out-of-range spaces, channels and codes: refused, and nothing changes.
void FuzzHost::Refused()
{
    const DWORD space = 1 + static_cast<DWORD>(Below(m_random, 0xFFFFFFFEull));
    const DWORD channel = FUZZ_CHANNELS + static_cast<DWORD>(Below(m_random, 0xFFFFFFF5ull));
    const DWORD anyChannel = static_cast<DWORD>(Below(m_random, FUZZ_CHANNELS));
    BYTE code = static_cast<BYTE>(Below(m_random, 256 - FUZZ_CHANNELS));
    code = code < FIRST_CODE ? code : static_cast<BYTE>(code + FUZZ_CHANNELS);
    bool refused = true;
    Timed(m_hostClock, Call::Refused, "refused input", [&] {
        switch (Below(m_random, 5)) {
        case 0: refused = !m_tuner->SelectChannel(space, anyChannel); break;
        case 1: refused = !m_tuner->SelectChannel(0, channel); break;
        case 2: refused = !m_tuner->SetChannelCode(code); break;
        case 3: refused = m_tuner->EnumChannel(Below(m_random, 2) ? space : 0, channel) == nullptr; break;
        default: refused = m_tuner->EnumSpace(space) == nullptr; break;
        }
        return 0;
    });
    if (Expect(refused, "out-of-range input was accepted"))
        Expect(m_tuner->QueryCurrentChannel() == m_channel, "refused input changed the channel");
}

void FuzzHost::Query()
{
    const DWORD channel = static_cast<DWORD>(Below(m_random, FUZZ_CHANNELS));
    Timed(m_hostClock, Call::Query, "queries", [&] {
        const DWORD ready = m_tuner->QueryReadyCount();
        Expect(ready <= (m_open ? MOST_READY : 0), "ready count " + std::to_string(ready));
        Expect(m_tuner->QueryCurrentChannel() == m_channel, "QueryCurrentChannel is not the host's channel");
        Expect(m_tuner->QueryCurrentSpace() == 0, "QueryCurrentSpace is not 0");
        Expect(m_tuner->IsTunerInUse() == (m_open ? TRUE : FALSE), "IsTunerInUse disagrees with the channel");
        const wchar_t* name = m_tuner->QueryTunerName();
        Expect(name != nullptr && std::wcscmp(name, TUNER_NAME) == 0 && m_tuner->EnumSpace(0) == name,
               "the tuner or space name is wrong");
        const wchar_t* channelName = m_tuner->EnumChannel(0, channel);
        Expect(channelName != nullptr && ChannelName(channel) == channelName, "a channel name is wrong");
        Expect(m_tuner->QuerySignalLevel() == 0.0f && m_tuner->OpenTuner(), "signal level or OpenTuner is wrong");
        return 0;
    });
    m_figures.calls[static_cast<int>(Call::Query)] += QUERY_CALLS - 1;
}

DWORD WINAPI FuzzHost::WaiterMain(LPVOID param)
{
    FuzzHost* self = static_cast<FuzzHost*>(param);
    uint64_t random = (self->m_seed ^ 0xA5A5A5A5A5A5A5A5ull) | 1;
    while (!self->m_stop && !self->Faulted())
        self->WaitStep(random);
    return 0;
}

void FuzzHost::WaitStep(uint64_t& random)
{
    AcquireSRWLockShared(&m_selectLock);
    const bool open = m_open;
    if (Below(random, 10) < 3) {
        const DWORD ready = Timed(m_waiterClock, Call::ReadyCount, "QueryReadyCount",
                                  [&] { return m_tuner->QueryReadyCount(); });
        Expect(ready <= (open ? MOST_READY : 0), "ready count " + std::to_string(ready) + " seen while waiting");
    } else {
        const DWORD timeoutMs = 1 + static_cast<DWORD>(Below(random, WAIT_MOST_MS));
        const ULONGLONG start = GetTickCount64();
        const DWORD result = Timed(m_waiterClock, Call::Wait, "WaitStream",
                                   [&] { return m_tuner->WaitStream(timeoutMs); });
        const ULONGLONG took = GetTickCount64() - start;
        if (!open)
            Expect(result == WAIT_ABANDONED_RESULT, "WaitStream on a closed tuner gave " + std::to_string(result));
        else if (result == WAIT_TIMED_OUT)
            Expect(took + EARLY_MS >= timeoutMs, "WaitStream(" + std::to_string(timeoutMs) + ") timed out after " +
                                                     std::to_string(took) + " ms");
        else
            Expect(result == WAIT_SIGNALLED, "WaitStream on an open channel gave " + std::to_string(result));
        ++(result == WAIT_SIGNALLED ? m_figures.waitsSignalled
                                    : result == WAIT_TIMED_OUT ? m_figures.waitsTimedOut : m_figures.waitsAbandoned);
    }
    ReleaseSRWLockShared(&m_selectLock);
    if (!open)
        Sleep(IDLE_MS);     // a closed tuner answers at once
}

DWORD WINAPI FuzzHost::WatchdogMain(LPVOID param)
{
    FuzzHost* self = static_cast<FuzzHost*>(param);
    while (!self->m_stop) {
        Sleep(WATCH_POLL_MS);
        self->Watch(self->m_hostClock);
        self->Watch(self->m_waiterClock);
    }
    return 0;
}

// A call that never returns cannot be recovered from: report it and end the run.
void FuzzHost::Watch(const CallClock& clock)
{
    const ULONGLONG since = clock.since;
    if (since == 0 || GetTickCount64() - since < CALL_LIMIT_MS)
        return;
    std::printf("FAIL: %s has not returned for %lu ms (seed %llu)\n", clock.what.load(),
                static_cast<unsigned long>(CALL_LIMIT_MS), static_cast<unsigned long long>(m_seed));
    std::fflush(stdout);
    TerminateProcess(GetCurrentProcess(), HUNG_EXIT_CODE);
}
