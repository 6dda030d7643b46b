#include "file_play.h"

#include <algorithm>
#include <cstring>

#include "pcr_probe.h"
#include "ts_aligner.h"

namespace {

const uint64_t PCR_SCAN_BYTES = 8ull << 20;
const char     PCR_SCAN_TEXT[] = "8 MiB";
const double   MS_PER_SECOND = 1000.0;
// The shortest wait worth taking: a wait left shorter than this ends the read instead,
// and a packet due sooner is waited for this long, so no wait is too short to move a clock.
const double   MIN_WAIT_SECONDS = 0.001;

} // namespace

FilePlay::FilePlay(const FileSettings& settings, PlayFile* file, PlayClock* clock)
    : m_settings(settings), m_file(file), m_clock(clock), m_pacer(settings.pace, settings.rate),
      m_chunk(FILE_PLAY_CHUNK_BYTES)
{
}

bool FilePlay::Fail(const std::string& what, const std::string& why)
{
    m_error = what + " " + m_settings.path + " (" + why + ")";
    return false;
}

bool FilePlay::Start()
{
    uint64_t size = 0;
    std::string why;
    if (!m_file->Size(&size, &why))
        return Fail("cannot read the size of", why);
    if (!FindFirstPacket())
        return false;
    m_usable = size - std::min(m_start, size);
    if (m_settings.loop)
        m_usable -= m_usable % TS_PACKET_BYTES;     // a cut packet would misalign every later pass
    if (m_settings.loop && m_usable == 0) {
        m_error = m_settings.path + " holds no whole 188-byte packet to loop";
        return false;
    }
    return m_settings.pace != PaceMode::PCR || PcrsGiveRate();
}

// False with m_error set when the scanned span has no PCR, or PCRs that give no rate.
bool FilePlay::PcrsGiveRate()
{
    PcrProbe probe;
    bool atEnd = false;
    while (!probe.GivesRate() && m_offset < PCR_SCAN_BYTES && Refill(&atEnd) && !atEnd) {
        for (size_t at = 0; at + TS_PACKET_BYTES <= m_used; at += TS_PACKET_BYTES)
            probe.Add(&m_chunk[at]);
        m_pos = m_used;
    }
    if (!m_error.empty() || !Rewind())
        return false;
    if (probe.GivesRate())
        return true;
    const std::string span = " in the first " + std::string(PCR_SCAN_TEXT) + " of " + m_settings.path;
    m_error = (probe.SawPcr() ? "a single PCR value" + span + " gives no rate" : "no PCR" + span)
            + " to pace by: add ?pace=none to send as fast as the host takes it,"
              " or ?rate=BITS (for example ?rate=8M) for a constant rate";
    return false;
}

bool FilePlay::Refill(bool* atEnd)
{
    m_pos = 0;
    m_used = 0;
    const uint64_t left = m_usable - std::min(m_offset, m_usable);
    const size_t want = static_cast<size_t>(std::min<uint64_t>(m_chunk.size(), left));
    size_t got = 0;
    std::string why;
    if (want > 0 && !m_file->Read(m_chunk.data(), want, &got, &why))
        return Fail("cannot read", why);
    m_used = got;
    m_offset += got;
    if (got < want) {
        // Cut under us: the pass ends where the file does now, so that bytes written there
        // later neither follow a cut tail misaligned nor revive a play that has ended. A loop
        // keeps only whole packets, so that the next pass stays aligned.
        if (m_settings.loop)
            m_used -= got % TS_PACKET_BYTES;
        m_offset = m_usable;
    }
    *atEnd = m_used == 0;
    return true;
}

// Refills the spent chunk; at the end of a looped pass starts the next one, unless
// bytes are already waiting to go (they go first).
FilePlay::ChunkStep FilePlay::NextChunk(bool holding)
{
    bool atEnd = false;
    if (!Refill(&atEnd))
        return ChunkStep::FAILED;
    if (!atEnd)
        return ChunkStep::READY;
    if (holding || !m_settings.loop)
        return ChunkStep::AT_END;
    return StartPass() ? ChunkStep::READY : ChunkStep::FAILED;
}

// A pass that sent nothing means the file shrank under us (a program rewriting it):
// going round again would spin, or send the same fragment for ever.
bool FilePlay::StartPass()
{
    if (!m_passSent)
        return FailShrunk();
    m_passSent = false;
    m_carry.Restart();
    m_pacer.Restart();
    return Rewind();
}

bool FilePlay::FailShrunk()
{
    uint64_t size = 0;
    std::string why;
    if (!m_file->Size(&size, &why))
        return Fail("cannot read the size of", why);
    const std::string now = size == 0
        ? "became empty"
        : "shrank to " + std::to_string(size) + " bytes, less than one 188-byte packet,";
    m_error = m_settings.path + " " + now + " while looping (is a program rewriting it?)";
    return false;
}

// Stray bytes before the first packet (a recording cut by a careless tool) would
// misalign every packet after them: the file is played from its first packet on.
bool FilePlay::FindFirstPacket()
{
    size_t got = 0;
    std::string why;
    if (!m_file->Read(m_chunk.data(), m_chunk.size(), &got, &why))
        return Fail("cannot read", why);
    m_start = TsAlignmentOffset(m_chunk.data(), got);
    if (got > 0 && m_start == got) {
        m_error = m_settings.path + " holds no transport stream: no 188-byte packets in its first "
                + std::to_string(got) + " bytes";
        return false;
    }
    return Rewind();
}

bool FilePlay::Rewind()
{
    std::string why;
    if (!m_file->Seek(m_start, &why))
        return Fail("cannot go back to the start of", why);
    m_offset = 0;
    m_used = 0;
    m_pos = 0;
    return true;
}

bool FilePlay::EnterLive(const LiveIndex& index, double seconds)
{
    if (index.Start() != m_start || index.Usable() != m_usable) {
        m_error = m_settings.path + " changed since it was indexed for live play (its packets moved)";
        return false;
    }
    const uint64_t entry = index.EntryAt(seconds).offset;
    std::string why;
    if (!m_file->Seek(m_start + entry, &why))
        return Fail("cannot go to the live position in", why);
    m_offset = entry;
    m_used = 0;
    m_pos = 0;
    return true;
}

size_t FilePlay::CopyTail(uint8_t* dst, size_t room)
{
    const size_t n = std::min(room, m_used - m_pos);
    std::memcpy(dst, &m_chunk[m_pos], n);
    m_pos += n;
    return n;
}

// Sends the packet in hand, which is due.
void FilePlay::SendPacket(uint8_t* dst)
{
    uint8_t* packet = &m_chunk[m_pos];
    if (m_settings.loop)
        m_carry.Apply(packet, 1);
    m_pacer.Commit(packet);
    std::memcpy(dst, packet, TS_PACKET_BYTES);
    m_pos += TS_PACKET_BYTES;
    m_passSent = true;
}

ReadResult FilePlay::Read(uint8_t* dst, size_t capacity, uint32_t waitMs)
{
    const double deadline = m_clock->Seconds() + waitMs / MS_PER_SECOND;
    ReadResult result;
    size_t& copied = result.bytes;
    for (;;) {
        result.status = copied > 0 ? ReadStatus::DATA : ReadStatus::NOTHING_YET;
        if (m_pos == m_used) {
            const ChunkStep step = NextChunk(copied > 0);
            if (step == ChunkStep::FAILED)
                return ReadResult{ReadStatus::FAILED, 0};
            if (step == ChunkStep::AT_END)
                return copied > 0 ? result : ReadResult{ReadStatus::ENDED, 0};
            continue;
        }
        if (m_used - m_pos < TS_PACKET_BYTES) {     // the cut tail of a file played once
            if (copied == capacity)
                return result;
            copied += CopyTail(dst + copied, capacity - copied);
            continue;
        }
        if (capacity - copied < TS_PACKET_BYTES)
            return result;
        const double now = m_clock->Seconds();
        const double due = m_pacer.DueSeconds(&m_chunk[m_pos], now);
        if (due <= now) {
            SendPacket(dst + copied);
            copied += TS_PACKET_BYTES;
            continue;
        }
        const double left = deadline - now;
        if (copied > 0 || left < MIN_WAIT_SECONDS)
            return result;
        m_clock->Wait(std::min(std::max(due - now, MIN_WAIT_SECONDS), left));
    }
}
