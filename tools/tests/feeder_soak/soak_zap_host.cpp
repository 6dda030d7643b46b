// A host process of the feeder soak: zaps at random (seeded) between the
// channels it owns, checks every visit and writes one line per visit. The soak
// steers it through the shared board: park, hold a channel, stall, stop.
//   soak_zap_host BOARD SLOT SEED CHANNEL...
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "driver_module.h"
#include "prng.h"
#include "soak_board.h"
#include "soak_recovery_rule.h"
#include "soak_visit.h"

namespace {

enum HostExit { HOST_DONE = 0, HOST_USAGE = 2, HOST_NO_BOARD = 3, HOST_NO_DRIVER = 4 };
const int FIRST_CHANNEL_ARG = 4;
const DWORD WAIT_STREAM_MS = 10;
const DWORD PARK_POLL_MS = 50;
const DWORD REFUSED_PAUSE_MS = 500;
const double DWELL_LEAST_SECONDS = 1.0;
const double DWELL_SPREAD_SECONDS = 5.0;
// Without data a visit ends after this (the soak's zap bound judges it).
const double NO_DATA_GIVE_UP_SECONDS = 10.0;
// A channel the soak forgot to release.
const double HOLD_LIMIT_SECONDS = 300.0;
const uint64_t SEED_MIX = 0x9E3779B97F4A7C15ull;

struct HostArgs {
    std::string             board;
    uint32_t                slot = 0;
    uint64_t                seed = 0;
    std::vector<uint32_t>   channels;
};

bool Parse(int argc, wchar_t** argv, HostArgs* args)
{
    if (argc <= FIRST_CHANNEL_ARG)
        return false;
    char board[MAX_PATH];
    WideCharToMultiByte(CP_UTF8, 0, argv[1], -1, board, sizeof board, NULL, NULL);
    args->board = board;
    args->slot = static_cast<uint32_t>(wcstoul(argv[2], nullptr, 10));
    args->seed = wcstoull(argv[3], nullptr, 10);
    for (int i = FIRST_CHANNEL_ARG; i < argc; ++i) {
        const unsigned long channel = wcstoul(argv[i], nullptr, 10);
        if (channel >= SOAK_CHANNEL_COUNT)
            return false;
        args->channels.push_back(static_cast<uint32_t>(channel));
    }
    return args->slot < MAX_HOST_SLOTS;
}

class ZapHost {
public:
    ZapHost(const HostArgs& args, SoakBoard* board)
        : m_args(args), m_board(*board), m_slot((*board)->slots[args.slot]), m_random(args.seed * SEED_MIX + args.slot) {}
    bool Load();
    void Run();

private:
    void Beat(HostCall call) { m_slot.call = static_cast<LONG>(call); m_slot.beatUs = NowUs(); }
    void Park();
    uint32_t NextChannel();
    void Visit(uint32_t channel, double dwell);
    bool VisitOver(VisitData& visit, double dwell);
    bool OtherChannelHeld(uint32_t channel) const;
    void Stall(VisitData* visit);
    void Take(VisitData* visit);
    void NoteData(uint32_t channel, LONG64 nowUs, LONG64 gapUs);

    const HostArgs& m_args;
    SoakBoard&      m_board;
    SlotBoard&      m_slot;
    SplitMix64      m_random;
    DriverModule    m_module;
    IBonDriver2*    m_pTuner = nullptr;
    bool            m_rezapped = false;     // the soak asked for this visit anew: it measures it
};

bool ZapHost::Load()
{
    Beat(HostCall::LOAD);
    if (!m_module.Load())
        return false;
    m_pTuner = m_module.Create();
    return m_pTuner != nullptr && m_pTuner->OpenTuner();
}

void ZapHost::Run()
{
    while (!m_board->stop) {
        Beat(HostCall::NONE);
        if (m_board->park) {
            Park();
            continue;
        }
        const double dwell = DWELL_LEAST_SECONDS + (m_random.Next() % 1000) / 1000.0 * DWELL_SPREAD_SECONDS;
        Visit(NextChannel(), dwell);
    }
    Beat(HostCall::CLOSE);
    m_pTuner->CloseTuner();
}

// Leaves the channel so that the soak counts a feeder with every source closed.
void ZapHost::Park()
{
    Beat(HostCall::CLOSE);
    m_pTuner->CloseTuner();
    m_slot.channel = -1;
    m_slot.parked = 1;
    while (m_board->park && !m_board->stop) {
        Beat(HostCall::PARKED);
        Sleep(PARK_POLL_MS);
    }
    m_slot.parked = 0;
    m_pTuner->OpenTuner();
}

uint32_t ZapHost::NextChannel()
{
    for (uint32_t channel : m_args.channels)
        if (m_board->channels[channel].hold)
            return channel;
    return m_args.channels[m_random.Next() % m_args.channels.size()];
}

void ZapHost::Visit(uint32_t channel, double dwell)
{
    VisitData visit;
    visit.slot = m_args.slot;
    visit.channel = channel;
    visit.selectedAt = UsToSeconds(NowUs());
    Beat(HostCall::SELECT);
    if (!m_pTuner->SelectChannel(0, channel)) {
        std::printf("host-error slot=%u SelectChannel(0, %u) refused\n", m_args.slot, channel);
        std::fflush(stdout);
        Sleep(REFUSED_PAUSE_MS);
        return;
    }
    m_slot.channel = static_cast<LONG>(channel);
    if (m_rezapped) {
        ChannelBoard& board = m_board->channels[channel];
        board.recoveredUs = 0;
        board.restoredUs = static_cast<LONG64>(visit.selectedAt * 1e6);
        m_rezapped = false;
    }
    while (!VisitOver(visit, dwell)) {
        Beat(HostCall::NONE);
        if (m_slot.stallMs > 0)
            Stall(&visit);
        Take(&visit);
    }
    visit.endedAt = UsToSeconds(NowUs());
    std::printf("%s\n", FormatVisit(CheckVisit(visit)).c_str());
    std::fflush(stdout);
}

bool ZapHost::VisitOver(VisitData& visit, double dwell)
{
    if (m_board->stop || m_board->park || OtherChannelHeld(visit.channel))
        return visit.cut = true;
    if (InterlockedExchange(&m_board->channels[visit.channel].rezap, 0) != 0) {
        m_rezapped = true;
        return visit.cut = true;
    }
    const double seconds = UsToSeconds(NowUs()) - visit.selectedAt;
    if (m_board->channels[visit.channel].hold)
        return seconds > HOLD_LIMIT_SECONDS;
    return visit.blocks.empty() ? seconds > NO_DATA_GIVE_UP_SECONDS : seconds > dwell;
}

bool ZapHost::OtherChannelHeld(uint32_t channel) const
{
    for (uint32_t other : m_args.channels)
        if (other != channel && m_board->channels[other].hold)
            return true;
    return false;
}

// Takes nothing for a while, then says from when data should flow again.
void ZapHost::Stall(VisitData* visit)
{
    const LONG ms = InterlockedExchange(&m_slot.stallMs, 0);
    Beat(HostCall::STALL);
    const double from = UsToSeconds(NowUs());
    Sleep(static_cast<DWORD>(ms));
    visit->stalledSeconds += ms / 1000.0;
    visit->stalls.push_back(Interval{from, UsToSeconds(NowUs())});
    ChannelBoard& board = m_board->channels[visit->channel];
    board.recoveredUs = 0;
    board.restoredUs = NowUs();
}

void ZapHost::Take(VisitData* visit)
{
    Beat(HostCall::WAIT);
    m_pTuner->WaitStream(WAIT_STREAM_MS);
    Beat(HostCall::TAKE);
    BYTE* data = nullptr;
    DWORD size = 0;
    DWORD remaining = 0;
    while (m_pTuner->QueryReadyCount() > 0 && m_pTuner->TakeStream(&data, &size, &remaining)) {
        if (size == 0)
            continue;
        const LONG64 now = NowUs();
        const double at = UsToSeconds(now);
        const double previous = visit->blocks.empty() ? visit->selectedAt : visit->blocks.back().at;
        NoteData(visit->channel, now, static_cast<LONG64>((at - previous) * 1e6));
        visit->bytes.insert(visit->bytes.end(), data, data + size);
        visit->blocks.push_back(BlockTime{at, size});
    }
}

void ZapHost::NoteData(uint32_t channel, LONG64 nowUs, LONG64 gapUs)
{
    ChannelBoard& board = m_board->channels[channel];
    board.lastDataUs = nowUs;
    const LONG64 restored = board.restoredUs;
    if (CountsAsRecovery(restored, board.recoveredUs, nowUs, gapUs, board.minGapMs))
        board.recoveredUs = nowUs;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    HostArgs args;
    if (!Parse(argc, argv, &args)) {
        std::fprintf(stderr, "usage: soak_zap_host BOARD SLOT SEED CHANNEL...\n");
        return HOST_USAGE;
    }
    SoakBoard board;
    if (!board.Open(args.board)) {
        std::printf("host-error slot=%u cannot open the board %s (error %lu)\n", args.slot, args.board.c_str(),
                    GetLastError());
        return HOST_NO_BOARD;
    }
    ZapHost host(args, &board);
    if (!host.Load()) {
        std::printf("host-error slot=%u cannot load the driver (error %lu)\n", args.slot, GetLastError());
        return HOST_NO_DRIVER;
    }
    host.Run();
    return HOST_DONE;
}
