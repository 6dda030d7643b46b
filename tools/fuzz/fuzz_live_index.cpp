// A recording indexed for live play, then entered at times the input gives: the scan
// refuses in words that name the file, or gives rising marks at least the spacing
// apart, each at a packet with a PCR; every entry is the last mark at or before its
// moment of the loop, and a play entered there sends that very packet first. And a
// recording made of parts at their own rates, their PCRs moving between PIDs and
// clocks, loops in its own span, with a mark at most 0.1 s and one PCR interval
// before every moment of it.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "file_play.h"
#include "fuzz_check.h"
#include "fuzz_input.h"
#include "fuzz_recording.h"
#include "live_scan.h"
#include "ts_packet.h"

namespace {

const char     PATH[] = "recording.ts";
const size_t   HEADER_BYTES = 3;            // stray length, stray byte, packets; then 3 bytes a packet
const size_t   QUERY_BYTES = 3;             // milliseconds since the start
const size_t   MAX_PACKETS = 160;
const size_t   MAX_QUERIES = 6;
const uint16_t FIRST_PID = 0x100;
const uint8_t  PID_CHOICES = 3;
const uint8_t  PCR_BIT = 0x80;
const uint8_t  PCR_RESET_BIT = 0x40;
const uint8_t  NO_SYNC_BIT = 0x20;          // a damaged packet among good ones
const uint64_t PCR_STEP_TICKS = PCR_TICKS_PER_SECOND / 2000;
const uint8_t  FILLER = 0xFF;
const uint8_t  NOT_SYNC = 0x48;
const double   MS_PER_SECOND = 1000.0;
const double   START_SECONDS = 1000.0;
const uint32_t READ_WAIT_MS = 2000;
const size_t   PLAY_ON_CAPACITY = 16 * TS_PACKET_BYTES;
const uint64_t ROUNDING_TICKS = 1;
// The promise: at most 10 marks a second, and one at most 0.1 s and a PCR interval before any moment.
const uint64_t SPACING_TICKS = PCR_TICKS_PER_SECOND / 10;
// A recording's loop lasts its own span within a few percent.
const double   SPAN_TOLERANCE = 0.03;

using Input = FuzzInput;

struct MemoryFile : PlayFile {
    std::vector<uint8_t>    content;
    uint64_t                pos = 0;

    bool Size(uint64_t* size, std::string*) override
    {
        *size = content.size();
        return true;
    }
    bool Read(uint8_t* dst, size_t want, size_t* got, std::string*) override
    {
        *got = pos < content.size() ? std::min<uint64_t>(want, content.size() - pos) : 0;
        if (*got > 0)
            std::memcpy(dst, content.data() + pos, *got);
        pos += *got;
        return true;
    }
    bool Seek(uint64_t offset, std::string*) override
    {
        pos = offset;
        return true;
    }
};

struct StepClock : PlayClock {
    double  now = START_SECONDS;

    double Seconds() override { return now; }
    void Wait(double seconds) override
    {
        FUZZ_CHECK(std::isfinite(seconds) && seconds > 0.0);
        now += seconds;
    }
};

std::vector<uint8_t> MakeRecording(Input* in)
{
    const size_t stray = in->Byte() % TS_PACKET_BYTES;
    uint8_t strayByte = in->Byte();
    if (strayByte == TS_SYNC_BYTE)
        strayByte = NOT_SYNC;
    const size_t packets = 1 + in->Byte() % MAX_PACKETS;
    std::vector<uint8_t> bytes(stray, strayByte);
    bytes.resize(stray + packets * TS_PACKET_BYTES, FILLER);
    uint64_t pcr = 0;
    for (size_t i = 0; i < packets; ++i) {
        const uint8_t control = in->Byte();
        const uint64_t step = (in->Byte() << 8) | in->Byte();
        uint8_t* p = &bytes[stray + i * TS_PACKET_BYTES];
        const uint16_t pid = FIRST_PID + control % PID_CHOICES;
        p[0] = (control & NO_SYNC_BIT) && i > 0 ? NOT_SYNC : TS_SYNC_BYTE;
        p[1] = static_cast<uint8_t>(pid >> 8);
        p[2] = static_cast<uint8_t>(pid);
        p[3] = static_cast<uint8_t>(0x10 | (i & 0x0F));
        if (control & PCR_BIT) {
            pcr = (control & PCR_RESET_BIT) ? step * PCR_STEP_TICKS : pcr + step * PCR_STEP_TICKS;
            PutFuzzPcr(p, pcr);
        }
    }
    return bytes;
}

void CheckMarks(const LiveIndex& index, const MemoryFile& file)
{
    const std::vector<LiveMark>& marks = index.Marks();
    FUZZ_CHECK(!marks.empty() && marks.front().ticks == 0);
    FUZZ_CHECK(index.Usable() % TS_PACKET_BYTES == 0);
    FUZZ_CHECK(index.Start() + index.Usable() <= file.content.size());
    FUZZ_CHECK(index.LoopSeconds() > 0.0);
    for (size_t i = 0; i < marks.size(); ++i) {
        FUZZ_CHECK(marks[i].offset % TS_PACKET_BYTES == 0 && marks[i].offset < index.Usable());
        uint64_t pcr = 0;
        const uint8_t* packet = &file.content[index.Start() + marks[i].offset];
        FUZZ_CHECK(TsHasSync(packet) && TsReadPcr(packet, &pcr));
        FUZZ_CHECK(i == 0 || marks[i].offset > marks[i - 1].offset);
        FUZZ_CHECK(i == 0 || marks[i].ticks >= marks[i - 1].ticks + SPACING_TICKS);
    }
}

// The entry is the last mark at or before the moment's place in the loop.
void CheckEntry(const LiveIndex& index, double seconds)
{
    const LiveMark entry = index.EntryAt(seconds);
    const uint64_t place = static_cast<uint64_t>(std::fmod(seconds, index.LoopSeconds()) * PCR_TICKS_PER_SECOND);
    FUZZ_CHECK(entry.ticks <= place + ROUNDING_TICKS);
    const std::vector<LiveMark>& marks = index.Marks();
    const auto at = std::find_if(marks.begin(), marks.end(),
                                 [&](const LiveMark& m) { return m.offset == entry.offset; });
    FUZZ_CHECK(at != marks.end());
    FUZZ_CHECK(at + 1 == marks.end() || (at + 1)->ticks + ROUNDING_TICKS > place);
}

// Played on from the entry, round the seam: the file's packets in order from there,
// each at sync (a loop rewrites only counters and adaptation flags).
void PlayOn(FilePlay* play, const LiveIndex& index, const MemoryFile& file, uint64_t next)
{
    std::vector<uint8_t> out(PLAY_ON_CAPACITY);
    for (uint64_t sent = 0; sent < index.Usable() + PLAY_ON_CAPACITY;) {
        const ReadResult result = play->Read(out.data(), out.size(), READ_WAIT_MS);
        FUZZ_CHECK(result.status == ReadStatus::DATA || result.status == ReadStatus::NOTHING_YET);
        FUZZ_CHECK(result.bytes % TS_PACKET_BYTES == 0);
        for (size_t at = 0; at < result.bytes; at += TS_PACKET_BYTES) {
            const uint8_t* expected = &file.content[index.Start() + next % index.Usable()];
            FUZZ_CHECK(TsHasSync(&out[at]) == TsHasSync(expected) && TsPid(&out[at]) == TsPid(expected));
            next += TS_PACKET_BYTES;
        }
        sent += result.bytes;
        if (result.bytes == 0)
            return;     // a pause in the PCRs longer than the wait: enough seen
    }
}

// A play entered at `seconds` sends the entry's packet first.
void CheckPlay(const LiveIndex& index, MemoryFile* file, double seconds)
{
    FileSettings settings;
    settings.path = PATH;
    settings.loop = true;
    settings.live = true;
    StepClock clock;
    file->pos = 0;      // as opened anew for the visit
    FilePlay play(settings, file, &clock);
    if (!play.Start())
        return;     // the pacer's own check wants two PCR values of one PID in its span
    FUZZ_CHECK(play.EnterLive(index, seconds));
    const LiveMark entry = index.EntryAt(seconds);
    FUZZ_CHECK(play.Position() == entry.offset);
    uint8_t packet[TS_PACKET_BYTES];
    const ReadResult result = play.Read(packet, sizeof packet, READ_WAIT_MS);
    FUZZ_CHECK(result.status == ReadStatus::DATA && result.bytes == TS_PACKET_BYTES);
    FUZZ_CHECK(std::memcmp(packet, &file->content[index.Start() + entry.offset], TS_PACKET_BYTES) == 0);
    PlayOn(&play, index, *file, entry.offset + TS_PACKET_BYTES);
}

// The loop lasts the recording's span, and no moment of it is further from the mark before it than promised.
void CheckOwnSpan(const uint8_t* data, size_t size)
{
    Input in{data, size};
    MemoryFile file;
    const FuzzRecording recording = MakeFuzzRecording(&in);
    file.content = recording.bytes;
    LiveIndex index;
    std::string why;
    FUZZ_CHECK(ScanLiveIndex(&file, PATH, [] { return false; }, &index, &why));
    if (std::fabs(index.LoopSeconds() - recording.seconds) > SPAN_TOLERANCE * recording.seconds + recording.byteTimedErrorSeconds) {
        std::fprintf(stderr, "loop of %.3f s, its own span %.3f s\n", index.LoopSeconds(), recording.seconds);
        FUZZ_CHECK(!"a recording loops in its own span");
    }
    const uint64_t lagTicks = SPACING_TICKS
                            + static_cast<uint64_t>(recording.longestStepSeconds * PCR_TICKS_PER_SECOND) + ROUNDING_TICKS;
    const std::vector<LiveMark>& marks = index.Marks();
    for (size_t i = 1; i < marks.size(); ++i)
        FUZZ_CHECK(marks[i].ticks - marks[i - 1].ticks <= lagTicks);
    // The seam after the last PCR is timed by its bytes at the rate measured since the clock
    // began, as the pacer plays it: within the loop's own tolerance, not to a PCR interval.
    const double seamSlackTicks = SPAN_TOLERANCE * recording.seconds * PCR_TICKS_PER_SECOND;
    FUZZ_CHECK(index.LoopSeconds() * PCR_TICKS_PER_SECOND - marks.back().ticks <= lagTicks + seamSlackTicks);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CheckOwnSpan(data, size);
    if (size < HEADER_BYTES)
        return 0;
    Input in{data, size};
    MemoryFile file;
    file.content = MakeRecording(&in);
    LiveIndex index;
    std::string why;
    if (!ScanLiveIndex(&file, PATH, [] { return false; }, &index, &why)) {
        FUZZ_CHECK(why.find(PATH) != std::string::npos);
        return 0;
    }
    CheckMarks(index, file);
    for (size_t i = 0; i < MAX_QUERIES && in.at + QUERY_BYTES <= in.size; ++i) {
        const uint32_t ms = (in.Byte() << 16) | (in.Byte() << 8) | in.Byte();
        CheckEntry(index, ms / MS_PER_SECOND);
        CheckPlay(index, &file, ms / MS_PER_SECOND);
    }
    return 0;
}
