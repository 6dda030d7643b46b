// A recording played by FilePlay from a file that is cut, grown or rewritten while
// it is read, on a fake clock: no read waits past its deadline or asks for a wait
// that is not a finite, positive span; only whole packets at sync come out (but for
// the cut tail of a file played once, which is the last thing it sends); no more comes
// out than the file or the rate allows; a looped file cut below one packet fails
// instead of spinning.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "file_play.h"
#include "fuzz_check.h"
#include "fuzz_input.h"
#include "fuzz_recording.h"
#include "ts_packet.h"

namespace {

const char     PATH[] = "recording.ts";
const size_t   HEADER_BYTES = 7;           // settings, rate (2), stray length and byte, packets, tail
const size_t   PACKET_RECORD_BYTES = 3;    // PID and PCR control, PCR step (2)
const size_t   EVENT_BYTES = 3;            // kind, then two argument bytes
const size_t   MAX_PACKETS = 48;           // in the file at the start
const size_t   RESERVE_PACKETS = 32;       // more, for the file to grow into
const uint16_t FIRST_PID = 0x100;
const uint8_t  PID_CHOICES = 3;
const uint8_t  PCR_BIT = 0x80;
const uint8_t  PCR_RESET_BIT = 0x40;
const uint64_t PCR_STEP_TICKS = PCR_TICKS_PER_SECOND / 2000;    // per unit of a record's step
const uint8_t  FILLER = 0xFF;
const uint8_t  NOT_SYNC = 0x48;
const size_t   PCR_FIELD_END = 12;         // header 4, adaptation length and flags 2, PCR 6
const uint64_t RATE_MIN = 1000;            // the lowest ?rate= accepts
const uint64_t RATE_UNIT = 1000;           // bit/s per unit of the rate field
const double   BITS_PER_BYTE = 8.0;
const double   START_SECONDS = 1000.0;
const uint32_t WAIT_UNIT_MS = 40;          // per unit of a read's wait
const size_t   CAPACITY_SPAN = 12 * TS_PACKET_BYTES;
const double   MS_PER_SECOND = 1000.0;
const double   TIME_SLACK_SECONDS = 1e-9;
const double   ROUNDING_BYTES = 1.0;       // a due time a rounding early, against the rate
const int      KIND_SHIFT = 3;             // a read's wait rides above its kind
const uint8_t  KIND_MASK = 0x07;
const uint8_t  AT_WAIT_BIT = 0x80;         // a change made while the next read sleeps
// The drain after the schedule: reads this long, at most this many times, and no more
// than this many in a row with nothing (a paced packet is due within seconds).
const uint32_t DRAIN_WAIT_MS = 10000;
const size_t   DRAIN_CAPACITY = 16 * TS_PACKET_BYTES;
const int      DRAIN_READS = 200;        // enough for a file played once to end
const int      LOOP_DRAIN_READS = 30;    // a loop that goes on: enough to see it going on
const int      NO_PROGRESS_READS = 20;

enum EventKind { READ, STEP, CUT, GROW, REWRITE, FAIL_IO, EVENT_KINDS };

using Input = FuzzInput;

// The file as a reader sees it: a prefix of `content`, which a rewrite replaces.
struct FakeFile : PlayFile {
    std::vector<uint8_t>    content;
    size_t                  length = 0;
    uint64_t                pos = 0;
    bool                    failNext = false;

    bool Broken(std::string* why)
    {
        if (!failNext)
            return false;
        failNext = false;
        *why = "the disk went away";
        return true;
    }
    bool Size(uint64_t* size, std::string* why) override
    {
        *size = length;
        return !Broken(why);
    }
    bool Read(uint8_t* dst, size_t want, size_t* got, std::string* why) override
    {
        if (Broken(why))
            return false;
        *got = pos < length ? std::min<uint64_t>(want, length - pos) : 0;
        if (*got > 0)
            std::memcpy(dst, content.data() + pos, *got);
        pos += *got;
        return true;
    }
    bool Seek(uint64_t offset, std::string* why) override
    {
        pos = offset;
        return !Broken(why);
    }
};

struct Change {
    uint8_t kind = 0, a = 0, b = 0;
};

struct Play;
void ApplyChange(Play* play, const Change& change);

// Time moves only when the player waits or the schedule steps it.
struct FakeClock : PlayClock {
    Play*   play = nullptr;
    double  now = START_SECONDS;
    double  deadline = START_SECONDS;

    double Seconds() override { return now; }
    void Wait(double seconds) override;
};

struct Play {
    FakeFile                file;
    FakeClock               clock;
    std::vector<uint8_t>    packetRecords;  // what the packets were made from
    size_t                  stray = 0;
    uint8_t                 strayByte = 0;
    bool                    loop = false;
    PaceMode                pace = PaceMode::NONE;
    uint64_t                rate = 0;
    bool                    pendingAtWait = false;
    Change                  pending;
    bool                    changed = false;    // the file is no longer what it was at the start
    uint64_t                usableAtStart = 0;
    std::vector<uint8_t>    out;
    double                  firstRead = -1.0;
    bool                    ended = false;
};

void FakeClock::Wait(double seconds)
{
    FUZZ_CHECK(std::isfinite(seconds));
    FUZZ_CHECK(seconds > 0.0);
    FUZZ_CHECK(now + seconds <= deadline + TIME_SLACK_SECONDS);
    now += seconds;
    if (play->pendingAtWait) {
        play->pendingAtWait = false;
        ApplyChange(play, play->pending);
    }
}

// Stray bytes, then packets made from the records, counters in order per PID;
// `twist` varies the packets for a rewrite.
std::vector<uint8_t> MakeContent(const Play& play, uint8_t twist)
{
    const size_t packets = MAX_PACKETS + RESERVE_PACKETS;
    std::vector<uint8_t> bytes(play.stray, play.strayByte);
    bytes.resize(play.stray + packets * TS_PACKET_BYTES, FILLER);
    uint8_t counters[PID_CHOICES] = {};
    uint64_t pcr = twist * PCR_TICKS_PER_SECOND;
    for (size_t i = 0; i < packets; ++i) {
        const size_t record = (i * PACKET_RECORD_BYTES) % play.packetRecords.size();
        const uint8_t control = play.packetRecords[record] ^ twist;
        const uint64_t step = (play.packetRecords[record + 1] << 8) | play.packetRecords[record + 2];
        uint8_t* p = &bytes[play.stray + i * TS_PACKET_BYTES];
        const uint8_t choice = control % PID_CHOICES;
        const uint16_t pid = FIRST_PID + choice;
        p[0] = TS_SYNC_BYTE;
        p[1] = static_cast<uint8_t>(pid >> 8);
        p[2] = static_cast<uint8_t>(pid);
        p[3] = static_cast<uint8_t>(0x10 | (counters[choice]++ & 0x0F));
        if (control & PCR_BIT) {
            pcr = (control & PCR_RESET_BIT) ? step * PCR_STEP_TICKS : pcr + step * PCR_STEP_TICKS;
            PutFuzzPcr(p, pcr);
        }
    }
    return bytes;
}

void ApplyChange(Play* play, const Change& change)
{
    FakeFile& file = play->file;
    const size_t arg = (change.a << 8) | change.b;
    switch ((change.kind & KIND_MASK) % EVENT_KINDS) {
    case CUT:
        file.length = arg % (file.length + 1);
        break;
    case GROW:
        file.length = std::min(file.content.size(), file.length + arg % (8 * TS_PACKET_BYTES));
        break;
    case REWRITE:
        file.content = MakeContent(*play, change.a);
        file.length = std::min(file.content.size(), play->stray + change.b * TS_PACKET_BYTES / 4);
        break;
    case FAIL_IO:
        file.failNext = true;
        break;
    default:
        return;
    }
    play->changed = true;
}

// Every whole packet out, from the packet that holds byte `from` on, starts at sync; a
// file played once may end in a cut tail, and a looped one ends each read at a packet's end.
void CheckOutput(const Play& play, size_t from)
{
    for (size_t at = from - from % TS_PACKET_BYTES; at + TS_PACKET_BYTES <= play.out.size(); at += TS_PACKET_BYTES)
        FUZZ_CHECK(TsHasSync(&play.out[at]));
    if (play.loop)
        FUZZ_CHECK(play.out.size() % TS_PACKET_BYTES == 0);
    else
        FUZZ_CHECK(play.out.size() <= play.usableAtStart);
    if (play.pace == PaceMode::RATE) {
        const double seconds = play.clock.now - play.firstRead;
        // The first packet goes at once; a cut tail goes unpaced after the last packet.
        const double tail = play.loop ? 0.0 : TS_PACKET_BYTES;
        FUZZ_CHECK(play.out.size() <= seconds * play.rate / BITS_PER_BYTE + TS_PACKET_BYTES + tail + ROUNDING_BYTES);
    }
}

// Without a change, what comes out is the file's own packets in order (their PIDs and
// payloads; a loop rewrites only counters and adaptation flags).
void CheckUnchangedContent(const Play& play, size_t from)
{
    if (play.changed)
        return;
    const uint8_t* file = play.file.content.data() + play.stray;
    for (size_t at = from - from % TS_PACKET_BYTES; at < play.out.size(); at += TS_PACKET_BYTES) {
        const size_t from = play.loop ? at % play.usableAtStart : at;
        const size_t n = std::min(TS_PACKET_BYTES, play.out.size() - at);
        if (n < PCR_FIELD_END) {
            FUZZ_CHECK(std::memcmp(&play.out[at], file + from, n) == 0);
            continue;
        }
        FUZZ_CHECK(TsPid(&play.out[at]) == TsPid(file + from));
        FUZZ_CHECK(std::memcmp(&play.out[at + PCR_FIELD_END], file + from + PCR_FIELD_END, n - PCR_FIELD_END) == 0);
    }
}

ReadResult ReadOnce(Play* play, FilePlay* player, size_t capacity, uint32_t waitMs)
{
    std::vector<uint8_t> buffer(capacity + 1);
    const double start = play->clock.now;
    if (play->firstRead < 0.0)
        play->firstRead = start;
    play->clock.deadline = start + waitMs / MS_PER_SECOND;
    const ReadResult result = player->Read(buffer.data(), capacity, waitMs);
    FUZZ_CHECK(play->clock.now <= play->clock.deadline + TIME_SLACK_SECONDS);
    FUZZ_CHECK(result.bytes <= capacity);
    FUZZ_CHECK((result.status == ReadStatus::DATA) == (result.bytes > 0));
    FUZZ_CHECK(result.status != ReadStatus::ENDED || !play->loop);
    FUZZ_CHECK(!play->ended || result.status == ReadStatus::ENDED);     // ended is for good
    FUZZ_CHECK(result.status != ReadStatus::FAILED || player->Error().find(PATH) != std::string::npos);
    play->ended = result.status == ReadStatus::ENDED;
    const size_t before = play->out.size();
    play->out.insert(play->out.end(), buffer.begin(), buffer.begin() + result.bytes);
    CheckOutput(*play, before);
    CheckUnchangedContent(*play, before);
    return result;
}

// Reads on after the schedule: a file played once ends, a looped one goes on
// sending, or fails once it no longer holds a whole packet.
void Drain(Play* play, FilePlay* player)
{
    const bool shrunk = play->file.length < play->stray + TS_PACKET_BYTES;
    const int reads = play->loop && !shrunk ? LOOP_DRAIN_READS : DRAIN_READS;
    int idle = 0;
    for (int i = 0; i < reads; ++i) {
        const ReadResult result = ReadOnce(play, player, DRAIN_CAPACITY, DRAIN_WAIT_MS);
        if (result.status == ReadStatus::FAILED || result.status == ReadStatus::ENDED)
            return;
        idle = result.bytes > 0 ? 0 : idle + 1;
        FUZZ_CHECK(idle < NO_PROGRESS_READS);
    }
    FUZZ_CHECK(play->loop && !shrunk);
}

bool Setup(Input* in, Play* play)
{
    const uint8_t settings = in->Byte();
    play->pace = settings % 3 == 0 ? PaceMode::PCR : settings % 3 == 1 ? PaceMode::RATE : PaceMode::NONE;
    play->loop = (settings & 0x04) != 0;
    const uint64_t raw = (in->Byte() << 8) | in->Byte();
    play->rate = play->pace == PaceMode::RATE ? RATE_MIN + raw * RATE_UNIT : 0;
    play->stray = in->Byte() % TS_PACKET_BYTES;
    play->strayByte = in->Byte();
    if (play->strayByte == TS_SYNC_BYTE)
        play->strayByte = NOT_SYNC;     // sync-like stray bytes could lock onto a PCR field by chance
    const size_t packets = 1 + in->Byte() % MAX_PACKETS;
    const size_t tail = in->Byte() % TS_PACKET_BYTES;
    for (size_t i = 0; i < packets * PACKET_RECORD_BYTES; ++i)
        play->packetRecords.push_back(in->Byte());
    play->file.content = MakeContent(*play, 0);
    play->file.length = play->stray + packets * TS_PACKET_BYTES + tail;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < HEADER_BYTES)
        return 0;
    Input in{data, size};
    Play play;
    play.clock.play = &play;
    Setup(&in, &play);
    FileSettings settings;
    settings.path = PATH;
    settings.pace = play.pace;
    settings.rate = play.rate;
    settings.loop = play.loop;
    FilePlay player(settings, &play.file, &play.clock);
    if (!player.Start()) {
        FUZZ_CHECK(player.Error().find(PATH) != std::string::npos);
        return 0;
    }
    const uint64_t played = play.file.length - play.stray;
    play.usableAtStart = play.loop ? played - played % TS_PACKET_BYTES : played;
    while (in.at + EVENT_BYTES <= in.size) {
        Change event{in.Byte(), in.Byte(), in.Byte()};
        const uint8_t kind = (event.kind & KIND_MASK) % EVENT_KINDS;
        if (kind == READ) {
            const size_t capacity = ((event.a << 8) | event.b) % CAPACITY_SPAN;
            const uint32_t waitMs = ((event.kind & ~AT_WAIT_BIT) >> KIND_SHIFT) * WAIT_UNIT_MS;
            const ReadResult result = ReadOnce(&play, &player, capacity, waitMs);
            if (result.status == ReadStatus::FAILED)
                return 0;
        } else if (kind == STEP) {
            play.clock.now += ((event.a << 8) | event.b) / MS_PER_SECOND;
        } else if (event.kind & AT_WAIT_BIT) {
            play.pendingAtWait = true;
            play.pending = event;
        } else {
            ApplyChange(&play, event);
        }
    }
    play.pendingAtWait = false;
    play.file.failNext = false;
    Drain(&play, &player);
    return 0;
}
